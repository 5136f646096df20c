// A file entry's data on its way to its stored name (Windows).
#pragma once
#include <string>

#include "run/system.h"
#include "support/handle.h"
#include "support/windows.h"

// A new file at a path that the run chose, delete-pending from its creation, so that the system
// removes it however the run ends, a killed process included; only commit clears the mark and gives
// it its stored name through the same handle, so no partial or unverified file ever stands under
// that name or outlives the run.
class staged_file final : public staged_output {
 public:
  // Creates the file at `path` (wide, extended form allowed; it must not exist): GENERIC_WRITE,
  // shared for reading, sequential scan. On failure created() is false and error() holds the
  // system's code.
  explicit staged_file(const std::wstring& path);
  ~staged_file() override;
  staged_file(const staged_file&) = delete;
  staged_file& operator=(const staged_file&) = delete;

  bool created() const { return static_cast<bool>(file_); }

  // Writes the block; false on a failed or short write (a full disk), with error() set.
  bool take(const char* bytes, std::size_t count) override;

  // Renames the file to `path` (a full path, the run's text) by its handle, replacing a file of
  // that name, and closes it. False with error() set when that fails; the staged file is deleted
  // then.
  bool commit(const std::string& path) override;

  std::uint32_t error() const override { return error_; }

  // Whether the system holds the file for deletion when its handle closes.
  bool delete_pending() const { return pending_; }

 private:
  std::wstring path_;
  tessel::unique_file file_;
  DWORD error_ = NO_ERROR;
  bool committed_ = false;
  bool pending_ = false;  // marked for deletion when its handle closes
};
