#include "run/folder_model.h"

#include <algorithm>

#include "base/ascii.h"
#include "base/wtf8.h"
#include "base/byte_source.h"
#include "pe/image.h"
#include "package/stored_name.h"
#include "run/product.h"

namespace tailrun {

namespace {

constexpr std::uint32_t error_sharing_violation = 32;  // ERROR_SHARING_VIOLATION: the run holds the marker open
const char staging_prefix[] = "~extract";
const char staging_suffix[] = ".tmp";

std::string staging_name(unsigned number) { return staging_prefix + std::to_string(number) + staging_suffix; }

}  // namespace

std::string comparable_file_name(std::string name) { return ascii_lower(std::move(name)); }

std::uint32_t folder_model::refusal(const std::string& stored_name, file_problem& problem,
                                    const char*& name_reason) const {
  const stored_name_verdict verdict = check_stored_name(stored_name);
  if (verdict.error != 0) {
    problem = file_problem::stored_name;
    name_reason = verdict.reason;
    return verdict.error;
  }
  if (comparable_file_name(created_file_name(stored_name)) == comparable_file_name(TAILRUN_RUN_MARKER_NAME)) {
    problem = file_problem::marker_name;
    return error_sharing_violation;
  }
  const std::size_t longest = std::max(utf16_length(output_path(stored_name)), utf16_length(staging_path()));
  if (longest > longest_path || utf16_length(created_file_name(stored_name)) > longest_file_name) {
    problem = file_problem::path_too_long;
    return error_filename_too_long;
  }
  return 0;
}

std::string folder_model::output_path(const std::string& stored_name) const {
  return folder_ + created_file_name(stored_name);
}

std::string folder_model::staging_path() const {
  // The staging file is renamed before the next one is made, so only a committed file can hold a
  // staging name.
  unsigned number = 0;
  while (find(staging_name(number)) != nullptr) ++number;
  return folder_ + staging_name(number);
}

std::size_t folder_model::committed(const std::string& stored_name, std::uint64_t size, const std::string& head) {
  file entry;
  entry.name = created_file_name(stored_name);
  entry.size = size;
  memory_source image(head);
  const std::string problem = program_image_problem(image);
  entry.image_problem = size == 0 ? "is empty (0 bytes)" : problem.empty() ? problem : "is " + problem;
  const auto [place, added] = index_.emplace(comparable_file_name(entry.name), files_.size());
  if (!added) {
    files_[place->second] = std::move(entry);  // replaced, as a file of the same name is on disk
    return place->second;
  }
  try {
    files_.push_back(std::move(entry));
  } catch (...) {
    index_.erase(place);
    throw;
  }
  return place->second;
}

const folder_model::file* folder_model::find(const std::string& name) const {
  const auto place = index_.find(comparable_file_name(name));
  return place == index_.end() ? nullptr : &files_[place->second];
}

}  // namespace tailrun
