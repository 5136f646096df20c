// A file entry's data on its way to its stored name (Windows).
#pragma once
#include <memory>
#include <string>

#include "driver/block_writer.h"
#include "run/system.h"
#include "support/handle.h"
#include "support/windows.h"

namespace tailrun {

// A new file at a path that the run chose, delete-pending from its creation, so that the system
// removes it however the run ends, a killed process included; only commit clears the mark and gives
// it its stored name through the same handle, so no partial or unverified file ever stands under
// that name or outlives the run. Once committed, the file stays open for reading with read sharing
// only until this object is destroyed: nobody can write, rename or delete it, while programs that
// only read or run it (the installer, msiexec, the system's loader) still open it.
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

  // A payload of more than one block: asks the file system for all its room at once, and writes
  // its blocks on a thread of their own (block_writer.h) while the run reads and hashes the next.
  bool begin(std::uint64_t length) override;
  // Writes the block, or hands it to the writing thread; false on a failed or short write (a full
  // disk), with error() set; a block written on the thread reports its failure at the next take
  // or at end().
  bool take(const char* bytes, std::size_t count) override;
  // Waits for the block in flight; false with error() set when a block failed.
  bool end() override;

  // Renames the file to `path` (a full path, the run's text) by its handle, replacing a file of
  // that name, then exchanges the writing handle for the reading one that holds the file. The
  // exchange leaves a moment with no handle on the file; the file held afterwards must be the same
  // file, of the same size, or the commit fails (ERROR_FILE_INVALID; a sharing
  // violation when another opener holds it by then). False with error() set; the staged file is
  // deleted when the rename failed.
  bool commit(const std::string& path) override;

  std::uint32_t error() const override { return error_; }

  // Whether the system holds the file for deletion when its handle closes.
  bool delete_pending() const { return pending_; }

 private:
  bool hold(const std::wstring& path);

  std::wstring path_;
  tessel::unique_file file_;
  std::unique_ptr<block_writer> writer_;  // declared after file_: it ends before the file closes
  DWORD error_ = NO_ERROR;
  bool committed_ = false;
  bool pending_ = false;  // marked for deletion when its handle closes
};

}  // namespace tailrun
