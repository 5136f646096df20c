// A file entry's data on its way to its stored name (Windows).
#pragma once
#include <string>

#include "package/record.h"
#include "support/handle.h"
#include "support/windows.h"

// Receives the data into a new temporary file in the working folder; only commit gives it its
// stored name, so no partial or unverified file ever stands under that name. Deleted unless committed.
class staged_file final : public payload_sink {
 public:
  // Creates the temporary file in `folder` (which ends with a path separator): GENERIC_WRITE,
  // shared for reading, a name no other file there has, sequential scan. On failure created() is
  // false and error() holds the system's code.
  explicit staged_file(const std::string& folder);
  ~staged_file() override;
  staged_file(const staged_file&) = delete;
  staged_file& operator=(const staged_file&) = delete;

  bool created() const { return static_cast<bool>(file_); }

  // Writes the block; false on a failed or short write (a full disk), with error() set.
  bool take(const char* bytes, std::size_t count) override;

  // Closes the file and renames it to `path`, replacing a file of that name. False with error()
  // set when that fails; the temporary file is deleted then.
  bool commit(const std::string& path);

  DWORD error() const { return error_; }

 private:
  std::string temp_path_;
  tessel::unique_file file_;
  DWORD error_ = NO_ERROR;
  bool committed_ = false;
};
