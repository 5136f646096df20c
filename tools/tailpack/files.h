// File writing for tailpack, and the few steps that differ by platform.
#pragma once
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/byte_source.h"
#include "package/writer.h"
#include "tools/tailpack/core.h"

namespace tailpack {

// A failure that ends a command: one line, without the program name.
class failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A byte_sink over a std::FILE opened for binary writing; owns and closes it.
class file_sink final : public byte_sink {
 public:
  // Opens the new, empty file at `path` (made by create_temp_beside) for writing, without
  // truncating it ("r+b"): some file systems (ext4) force a file's data out when a file they
  // truncated is closed. Throws failure.
  explicit file_sink(const std::string& path);
  ~file_sink() override;
  file_sink(const file_sink&) = delete;
  file_sink& operator=(const file_sink&) = delete;

  void write(const void* bytes, std::size_t count) override;  // throws failure
  void close();  // flushes and closes; throws failure when the data did not reach the file

 private:
  std::string path_;
  std::FILE* file_;
};

// `folder` joined with `name` by the platform's separator (none added when `folder` ends in one).
std::string join_path(const std::string& folder, const std::string& name);

// Creates the folder `path` and every missing folder above it; true when it created `path`
// itself or a folder above it. Throws failure.
bool ensure_folders(const std::string& path);

// --- Platform halves (files_posix.cpp, files_win32.cpp) ---

// The characters that separate path components: "/" on POSIX, "\\/" on Windows.
const char* path_separators();

// Opens the file at `path` (UTF-8, as tailpack holds every text; on Windows through the wide call)
// for reading as a package or an input. Returns null when it cannot be opened or is not a regular
// file (opening never waits on a FIFO); `error` then holds the reason.
std::unique_ptr<byte_source> open_input_file(const std::string& path, std::string* error);

// std::fopen of a UTF-8 path (on Windows through the wide call, so any name works). Null on failure,
// with errno set.
std::FILE* open_file(const std::string& path, const char* mode);

// The first `size` bytes of the regular file at `path` (all of it when shorter). Throws failure
// naming the path when it cannot be opened or read.
std::string read_head(const std::string& path, std::size_t size);

// The whole of the file, pipe or character device at `path` (a --value-file: "/dev/stdin", a
// process substitution), read to its end but never past `limit` + 1 bytes: a result that long
// means the input is longer than `limit` (an endless device such as /dev/zero included). A
// folder, socket or block device is refused. Throws failure.
std::string read_text_input(const std::string& path, std::size_t limit);

// What stands at `path` when it is not a regular file, links followed: "a folder", "a FIFO", "a
// character device", ...; empty when it is a regular file or nothing is there. An output that is
// not a regular file is never replaced.
std::string special_file_kind(const std::string& path);

// While one exists, SIGINT, SIGTERM and SIGHUP (those not ignored) first remove the file at `path`
// (a partial output), then end the process as the signal would. Nothing on Windows.
class interrupt_cleanup {
 public:
  explicit interrupt_cleanup(const std::string& path);
  ~interrupt_cleanup();
  interrupt_cleanup(const interrupt_cleanup&) = delete;
  interrupt_cleanup& operator=(const interrupt_cleanup&) = delete;
};

// Removes the file at `path` if it can; failures are ignored.
void remove_file(const std::string& path);

// The path of the running tailpack executable. Throws failure when the system does not tell.
std::string program_path();

// Creates a new empty file in the folder of `target`, under a name of its own; returns its path.
// Throws failure.
std::string create_temp_beside(const std::string& target);

// Renames `from` to `to` in one step, replacing an existing `to`: on Linux by exchanging the two
// names and then removing the old file, which spares the flush that ext4 forces on a rename over an
// existing file. Throws failure.
void replace_file(const std::string& from, const std::string& to);

// Creates the folder `path` unless it exists already as a folder (its parent must exist); true
// when it created it. Throws failure.
bool ensure_folder(const std::string& path);

// True when `path` is a symbolic link or another reparse point (not followed). False when it is
// anything else or does not exist.
bool is_link(const std::string& path);

// True when `a` and `b` name one and the same existing file, whatever their names: the same device
// and inode (on Windows: volume serial number and file index), links followed. False when either
// does not exist or cannot be examined.
bool same_file(const std::string& a, const std::string& b);

// What tells whether the file at `path` changed: its identity, size and modification time, as an
// opaque text; empty when it cannot be examined. Equal texts: the file was not written in between.
std::string file_stamp(const std::string& path);

}  // namespace tailpack
