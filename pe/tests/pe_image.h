// A minimal 32-bit PE image (headers and one 512-byte section, 1 KiB) with only the header fields
// that code signing and the stub check read, and the certificate table (security directory) of a
// signed file.
#pragma once
#include <cstdint>
#include <string>

namespace pe {

inline void put16(std::string& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}

inline void put32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

inline std::uint32_t get32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

constexpr std::size_t pe_offset = 0x40;  // of minimal_image
constexpr std::size_t optional_offset = pe_offset + 4 + 20;

// Where data directory 4 of a PE32 file lies: after the PE signature, the file header and 128
// bytes of the optional header.
inline std::size_t security_entry(const std::string& file) { return get32(file, 0x3c) + 4 + 20 + 128; }

// Headers in the first 0x200 bytes, one code section ("ret", then `section_text`) in the next.
inline std::string minimal_image(const std::string& section_text) {
  std::string b(0x400, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  put32(b, 0x3c, pe_offset);
  b.replace(pe_offset, 4, std::string("PE\0\0", 4));
  const std::size_t coff = pe_offset + 4;
  put16(b, coff, 0x14c);                 // i386
  put16(b, coff + 2, 1);                 // one section
  put16(b, coff + 16, 0xe0);             // optional header size
  put16(b, coff + 18, 0x0102);           // executable, 32-bit
  const std::size_t o = optional_offset;
  put16(b, o, 0x10b);                    // PE32
  put32(b, o + 32, 0x1000);              // section alignment
  put32(b, o + 36, 0x200);               // file alignment
  put32(b, o + 56, 0x2000);              // size of image
  put32(b, o + 60, 0x200);               // size of headers
  put32(b, o + 92, 16);                  // data directories
  const std::size_t section = o + 0xe0;
  b.replace(section, 5, ".text");
  put32(b, section + 8, 0x200);          // virtual size
  put32(b, section + 12, 0x1000);        // virtual address
  put32(b, section + 16, 0x200);         // raw size
  put32(b, section + 20, 0x200);         // raw offset
  put32(b, section + 36, 0x60000020);    // code, execute, read
  b[0x200] = static_cast<char>(0xc3);
  b.replace(0x210, section_text.size(), section_text);
  return b;
}

struct certificate_table {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

// Data directory 4 of a PE32 file.
inline certificate_table security_directory(const std::string& file) {
  return {get32(file, security_entry(file)), get32(file, security_entry(file) + 4)};
}

// Appends `bytes` (padded with zeros to a multiple of 8) inside the certificate table that ends
// `file`: the table's last WIN_CERTIFICATE and the directory grow so that it still ends the file.
inline std::string grow_certificate_table(std::string file, std::string bytes) {
  const certificate_table table = security_directory(file);
  bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
  const auto added = static_cast<std::uint32_t>(bytes.size());
  put32(file, table.offset, get32(file, table.offset) + added);  // dwLength of the (only) certificate
  put32(file, security_entry(file) + 4, table.size + added);
  return file + bytes;
}

}  // namespace pe
