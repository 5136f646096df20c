// The working folder as the run knows it: empty when the run has created it (it is always a new
// folder), then holding exactly the files that the extraction committed. The run decides from this
// model, not from the file system, which names it can write and what it can launch, so that the
// stub and tailpack's simulated machine decide alike.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tailrun {

// Path limits, in UTF-16 units (base/wtf8.h utf16_length). The run's file calls take the extended
// form of a path ("\\?\", "\\?\UNC\"), so a file's full path may be as long as that form allows:
// 32,767 units less the terminator and the longest prefix's growth (6). Each name in it is a
// file system name of at most 255 units. The launch itself keeps the system's MAX_PATH (259 and
// a terminator).
constexpr std::size_t longest_path = 32760;
constexpr std::size_t longest_file_name = 255;
constexpr std::size_t longest_launch_path = 259;

// A file name as Windows compares it: ASCII letters folded to lower case, other bytes as they are.
std::string comparable_file_name(std::string name);

// Why a file entry cannot be written (why_not_launched puts it in words).
enum class file_problem {
  none,
  stored_name,    // the name's own rules refuse it (stored_name_verdict::reason says which)
  marker_name,    // the name of the file that marks the working folder as the run's own
  path_too_long,  // its name passes longest_file_name, or its full path or the staging file's longest_path
  not_created,    // the system could not create the staging file
  not_named,      // the system could not give the file its name
  not_written,    // the system could not write all of its data
};

class folder_model {
 public:
  struct file {
    std::string name;           // as created: the stored name without trailing dots and spaces
    std::uint64_t size = 0;
    std::string image_problem;  // why its data is no program image ("is ..."); empty when it is one
  };

  // `working_folder` ends with a backslash.
  explicit folder_model(std::string working_folder) : folder_(std::move(working_folder)) {}

  const std::string& path() const { return folder_; }

  // 0 when a file entry of this stored name (the run's text) can be written; else the system's
  // code of the refusal, and `problem` (with the name rule's `name_reason`) says why. Besides the
  // name's own rules, the name must fit longest_file_name, and its full path and that of the
  // staging file longest_path.
  std::uint32_t refusal(const std::string& stored_name, file_problem& problem, const char*& name_reason) const;

  // The full path that a file of this stored name is committed to.
  std::string output_path(const std::string& stored_name) const;

  // A path in the folder where no file stands, for data on its way to its stored name.
  std::string staging_path() const;

  // A file's data took its stored name; replaces a file of the same name. `head`: its first bytes
  // (at most program_head_size). Returns the file's place in files(): that of the file it replaced,
  // or the new last one.
  std::size_t committed(const std::string& stored_name, std::uint64_t size, const std::string& head);

  // The file of this name in the folder (compared as Windows compares names), or null.
  const file* find(const std::string& name) const;
  // Every file, in the order first committed.
  const std::vector<file>& files() const { return files_; }

  // How many first bytes of a file tell whether it is a program image.
  static constexpr std::size_t program_head_size = 4096;

 private:
  std::string folder_;
  std::vector<file> files_;
  std::map<std::string, std::size_t> index_;  // comparable_file_name of each file → its place in files_
};

}  // namespace tailrun
