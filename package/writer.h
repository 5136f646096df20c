// Lays out packages: stub image, stub entry, the entries, tail marker. Same inputs, same bytes.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

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

struct package_entry {
  enum class type { value, file };
  type kind = type::value;
  std::string key;
  std::string value;  // value entry: the value; file entry: the stored file name
  std::string data;   // file entry: the file's bytes

  static package_entry make_value(std::string key, std::string value);
  static package_entry make_file(std::string key, std::string name, std::string data);
};

// Appends one record: payload, its length (32-bit little-endian) and its MD5 digest.
// Throws std::length_error for a payload longer than the format allows (2^31 - 4 bytes).
void write_record(byte_sink& out, const std::string& payload);

// Writes a whole package. Entries are laid out in the order given, the first nearest the stub, so
// the last one given is the first that the stub meets: among entries with the same key the last
// one given takes effect.
void write_package(byte_sink& out, const std::string& stub_image, const std::string& stub_file_name,
                   const std::vector<package_entry>& entries);
