#include "package/writer.h"

#include <stdexcept>

#include "package/md5.h"
#include "package/record.h"

package_entry package_entry::make_value(std::string key, std::string value) {
  return package_entry{type::value, std::move(key), std::move(value), {}};
}

package_entry package_entry::make_file(std::string key, std::string name, std::string data) {
  return package_entry{type::file, std::move(key), std::move(name), std::move(data)};
}

void write_record(byte_sink& out, const std::string& payload) {
  constexpr std::size_t largest_payload = 2147483644;  // the stub steps back over N + 4 in one signed 32-bit move
  if (payload.size() > largest_payload) throw std::length_error("record payload larger than 2147483644 bytes");
  out.write(payload.data(), payload.size());
  const auto n = static_cast<std::uint32_t>(payload.size());
  const unsigned char length[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                   static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
  out.write(length, sizeof length);
  const std::string digest = md5_digest(payload.data(), payload.size());
  out.write(digest.data(), digest.size());
}

void write_package(byte_sink& out, const std::string& stub_image, const std::string& stub_file_name,
                   const std::vector<package_entry>& entries) {
  write_record(out, stub_image);
  write_record(out, stub_file_name);
  write_record(out, "stub");
  write_record(out, "stub");
  for (const package_entry& entry : entries) {
    if (entry.kind == package_entry::type::value) {
      write_record(out, entry.value);
      write_record(out, entry.key);
      write_record(out, "value");
    } else {
      write_record(out, entry.data);
      write_record(out, entry.value);
      write_record(out, entry.key);
      write_record(out, "file");
    }
  }
  write_record(out, tail_marker_text());
}
