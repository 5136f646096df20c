// A readable, seekable sequence of bytes: a package file or a package in memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class byte_source {
 public:
  virtual ~byte_source() = default;

  // Moves the position by `delta` bytes. A target before the start of the source or beyond its
  // end fails; on failure the position is unchanged.
  virtual bool seek(std::int64_t delta) = 0;

  // Moves to the end; returns the size of the source, or -1 when it cannot be obtained.
  virtual std::int64_t seek_end() = 0;

  // Reads exactly `count` bytes at the position and moves past them; a short read fails.
  virtual bool read(void* buffer, std::size_t count) = 0;

  // The position, in bytes from the start.
  virtual std::uint64_t position() const = 0;
};

// Bytes held in memory (tests, fuzzing). The source keeps its own copy.
class memory_source final : public byte_source {
 public:
  explicit memory_source(std::string bytes) : bytes_(std::move(bytes)) {}
  bool seek(std::int64_t delta) override;
  std::int64_t seek_end() override;
  bool read(void* buffer, std::size_t count) override;
  std::uint64_t position() const override { return position_; }

 private:
  std::string bytes_;
  std::uint64_t position_ = 0;
};

// Opens the file at `path` for reading as a package (the platform's file functions). Returns null
// when it cannot be opened; `error` then holds the system's reason.
std::unique_ptr<byte_source> open_package_file(const std::string& path, std::string* error);
