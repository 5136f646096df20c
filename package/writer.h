// Lays out packages: stub image, stub entry, the entries, tail marker. Same inputs, same bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_source.h"

namespace tailrun {

// Where a package's bytes go.
class byte_sink {
 public:
  virtual ~byte_sink() = default;
  // Appends `count` bytes; throws std::runtime_error when they cannot be written.
  virtual void write(const void* bytes, std::size_t count) = 0;
};

class string_sink final : public byte_sink {
 public:
  void write(const void* bytes, std::size_t count) override {
    bytes_.append(static_cast<const char*>(bytes), count);
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// A record's payload as the writer takes it: a text held in memory, or the whole content of a byte
// source (an input file), read in blocks only when the record is written.
class record_payload {
 public:
  // Texts convert implicitly, so that a string is a payload wherever one is taken.
  record_payload(std::string text = {}) : text_(std::move(text)) {}
  record_payload(const char* text) : text_(text) {}
  // Takes the source's size now (throws std::runtime_error when it is unknown); its bytes are read
  // from the start when the record is written.
  explicit record_payload(std::shared_ptr<byte_source> source);

  std::uint64_t size() const { return source_ ? source_size_ : text_.size(); }
  const std::string& text() const { return text_; }  // empty for a source's payload

  // Feeds the payload to `out` in blocks. Throws std::runtime_error when the source cannot be read
  // or no longer has the size taken at construction.
  void stream(const std::function<void(const char*, std::size_t)>& out) const;

 private:
  std::string text_;
  std::shared_ptr<byte_source> source_;
  std::uint64_t source_size_ = 0;
};

struct package_entry {
  enum class type { value, file };
  type kind = type::value;
  std::string key;
  record_payload value;  // value entry: the value; file entry: the stored file name
  record_payload data;   // file entry: the file's bytes

  static package_entry make_value(std::string key, record_payload value);
  static package_entry make_file(std::string key, std::string name, record_payload data);
};

// Appends one record: payload, its length (32-bit little-endian) and its MD5 digest, computed
// while the payload is written. Throws std::length_error for a payload longer than a record can
// describe (largest_payload) before anything is written.
void write_record(byte_sink& out, const record_payload& payload);

// The records of a package in file order: the stub entry, the entries in the order given, the
// tail marker. The first entry given lands nearest the stub, so the last one given is the first
// that the stub meets: among entries with the same key the last one given takes effect.
void for_each_record(const record_payload& stub_image, const std::string& stub_file_name,
                     const std::vector<package_entry>& entries,
                     const std::function<void(const record_payload&)>& visit);

// Writes a whole package, laid out by for_each_record.
void write_package(byte_sink& out, const record_payload& stub_image, const std::string& stub_file_name,
                   const std::vector<package_entry>& entries);

// The size in bytes of the package that write_package lays out for these inputs.
std::uint64_t package_size(const record_payload& stub_image, const std::string& stub_file_name,
                           const std::vector<package_entry>& entries);

}  // namespace tailrun
