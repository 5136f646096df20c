// A readable, seekable sequence of bytes: a package file, a program image or bytes in memory.
// Portable.
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

  // Moves to the absolute `offset`; fails as seek does.
  bool seek_to(std::uint64_t offset) {
    return seek(static_cast<std::int64_t>(offset) - static_cast<std::int64_t>(position()));
  }
  // Reads exactly `count` bytes at the absolute `offset`; fails as seek and read do.
  bool read_at(std::uint64_t offset, void* buffer, std::size_t count) { return seek_to(offset) && read(buffer, count); }
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

