#include "msi_setup/msi_arguments.h"

namespace msi_setup {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The text of a quoted /V option that starts at `open` (just past its opening quotation mark);
// `end` becomes the position just past the closing one (or the end of `line`).
std::string quoted_v_text(const std::string& line, std::size_t open, std::size_t& end) {
  std::string text;
  std::size_t i = open;
  for (; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') ++i;
    text += line[i];
  }
  end = i < line.size() ? i + 1 : i;
  return text;
}

// The end of the word that starts at `start`: the next blank outside quotation marks.
std::size_t word_end(const std::string& line, std::size_t start) {
  bool quoted = false;
  std::size_t i = start;
  for (; i < line.size() && (quoted || !is_blank(line[i])); ++i) {
    if (line[i] == '"') quoted = !quoted;
  }
  return i;
}

bool is_language_option(const std::string& word) {
  return word.size() > 2 && word.compare(0, 2, "/L") == 0 &&
         word.find_first_not_of("0123456789", 2) == std::string::npos;
}

}  // namespace

msiexec_arguments translate_setup_arguments(const std::string& line) {
  msiexec_arguments out;
  auto append = [&out](const std::string& text) {
    if (text.empty()) return;
    if (!out.arguments.empty()) out.arguments += ' ';
    out.arguments += text;
  };
  std::size_t i = 0;
  while (i < line.size()) {
    if (is_blank(line[i])) {
      ++i;
      continue;
    }
    const bool v_option = line.size() - i >= 2 && line[i] == '/' && (line[i + 1] == 'V' || line[i + 1] == 'v');
    if (v_option && i + 2 < line.size() && line[i + 2] == '"') {
      append(quoted_v_text(line, i + 3, i));
      continue;
    }
    const std::size_t end = word_end(line, i);
    const std::string word = line.substr(i, end - i);
    i = end;
    if (v_option) {
      append(word.substr(2));
    } else if (word == "/s" || word == "/S") {
      append("/qn");
    } else if (is_language_option(word)) {
      out.language = word.substr(2);
    } else {
      append(word);
    }
  }
  return out;
}

std::string msiexec_command_line(const std::string& msi_path, const std::string& arguments) {
  std::string line = "msiexec.exe /i \"" + msi_path + '"';
  if (!arguments.empty()) line += ' ' + arguments;
  return line;
}

std::string msi_beside(const std::string& program_path) {
  const std::size_t name = program_path.find_last_of("\\/:") + 1;  // npos + 1 == 0
  const std::size_t dot = program_path.find_last_of('.');
  const bool has_extension = dot != std::string::npos && dot >= name;
  return (has_extension ? program_path.substr(0, dot) : program_path) + ".msi";
}

}  // namespace msi_setup
