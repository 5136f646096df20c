#include "run/launch_target.h"

#include "base/wtf8.h"

namespace tailrun {

namespace {

const char path_too_long[] = "has a path longer than the 259 characters that the system launches";

// The system launches no file whose path passes MAX_PATH.
bool too_long(const std::string& path) { return utf16_length(path) > longest_launch_path; }

bool is_separator(char c) { return c == '\\' || c == '/'; }

// The length of the root of `path`: "X:\" or "\\server\share\" (with its separators); 0 when
// the path has neither.
std::size_t root_length(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && is_separator(path[2])) return 3;
  std::size_t at = 0;
  if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
    at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !is_separator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
  }
  return at;
}

bool ends_with(const std::string& text, const char* tail) {
  const std::string end(tail);
  return text.size() >= end.size() && comparable_file_name(text.substr(text.size() - end.size())) == end;
}

bool starts_with(const std::string& text, const std::string& head) {
  return text.size() >= head.size() && comparable_file_name(text.substr(0, head.size())) == comparable_file_name(head);
}

// Adds the component `part` to `resolved` (the root, then components joined by '\').
void add_component(std::string& resolved, std::size_t root, std::string part, bool last) {
  if (part.empty() || part == ".") return;
  if (part == "..") {
    const std::size_t cut = resolved.rfind('\\');
    resolved.resize(cut == std::string::npos || cut < root ? root : cut);
    return;
  }
  if (part.size() >= 2 && part.back() == '.' && part[part.size() - 2] != '.') part.pop_back();
  while (last && !part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
  if (part.empty()) return;
  if (resolved.size() > root) resolved += '\\';
  resolved += part;
}

}  // namespace

std::string resolve_path(const std::string& folder, const std::string& relative) {
  const std::string joined = folder + relative;
  const std::size_t root = root_length(joined);
  std::string resolved = joined.substr(0, root);
  for (char& c : resolved)
    if (c == '/') c = '\\';
  std::size_t start = root;
  for (std::size_t i = root; i <= joined.size(); ++i) {
    if (i == joined.size() || is_separator(joined[i])) {
      add_component(resolved, root, joined.substr(start, i - start), i == joined.size());
      start = i + 1;
    }
  }
  return resolved;
}

launch_decision decide_launch(const folder_model& folder, const std::string& executable) {
  launch_decision decision;
  decision.file = resolve_path(folder.path(), executable);
  const std::string& inside = folder.path();  // ends with a backslash
  const bool root = !decision.file.empty() && decision.file.back() == '\\';
  if (decision.file.empty() || starts_with(inside, root ? decision.file : decision.file + "\\")) {
    decision.problem = "names the working folder or a folder above it, not a file";
    return decision;
  }
  if (!starts_with(decision.file, inside)) {
    decision.outside = true;
    decision.problem = too_long(decision.file) ? path_too_long : "";
    decision.launches = !too_long(decision.file);
    return decision;
  }
  const std::string name = decision.file.substr(inside.size());
  const folder_model::file* written = name.find('\\') == std::string::npos ? folder.find(name) : nullptr;
  if (written == nullptr) {
    decision.problem = "is not one that the package writes";
  } else if (too_long(decision.file)) {
    decision.problem = path_too_long;
  } else if ((ends_with(name, ".exe") || ends_with(name, ".com")) && !written->image_problem.empty()) {
    decision.problem = "is no program that Windows can start";
    decision.detail = written->image_problem;
  } else {
    decision.launches = true;
  }
  return decision;
}

}  // namespace tailrun
