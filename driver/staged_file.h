// A file entry's data on its way to its stored name (Windows).
#pragma once
#include <string>

#include "run/system.h"
#include "support/handle.h"
#include "support/windows.h"

// A new file at a path that the run chose; only commit gives it its stored name, so no partial or
// unverified file ever stands under that name. Deleted unless committed.
class staged_file final : public staged_output {
 public:
  // Creates the file (it must not exist): GENERIC_WRITE, shared for reading, sequential scan. On
  // failure created() is false and error() holds the system's code.
  explicit staged_file(const std::string& path);
  ~staged_file() override;
  staged_file(const staged_file&) = delete;
  staged_file& operator=(const staged_file&) = delete;

  bool created() const { return static_cast<bool>(file_); }

  // Writes the block; false on a failed or short write (a full disk), with error() set.
  bool take(const char* bytes, std::size_t count) override;

  // Closes the file and renames it to `path`, replacing a file of that name. False with error()
  // set when that fails; the staged file is deleted then.
  bool commit(const std::string& path) override;

  std::uint32_t error() const override { return error_; }

 private:
  std::string path_;
  tessel::unique_file file_;
  DWORD error_ = NO_ERROR;
  bool committed_ = false;
};
