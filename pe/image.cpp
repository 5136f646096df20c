#include "pe/image.h"

#include <algorithm>

#include "base/little_endian.h"

namespace {

constexpr std::uint64_t pe_pointer_offset = 0x3c;
constexpr std::uint64_t file_header_size = 20;
constexpr std::uint16_t executable_image = 0x0002;
constexpr std::uint16_t dll = 0x2000;
constexpr std::uint16_t pe32_magic = 0x10b;
constexpr std::uint16_t pe32_plus_magic = 0x20b;
constexpr std::uint16_t most_sections = 96;

}  // namespace

std::string read_pe_headers(byte_source& file, pe_headers& headers) {
  const std::int64_t size = file.seek_end();
  unsigned char mz[64];
  if (size < static_cast<std::int64_t>(sizeof mz) || !file.read_at(0, mz, sizeof mz) || mz[0] != 'M' || mz[1] != 'Z')
    return "not a Windows executable (it does not start with an MZ header)";
  headers.pe_offset = le32(mz + pe_pointer_offset);
  unsigned char head[4 + file_header_size + 2];  // signature, file header, optional header magic
  if (headers.pe_offset + sizeof head > static_cast<std::uint64_t>(size) ||
      !file.read_at(headers.pe_offset, head, sizeof head) || head[0] != 'P' || head[1] != 'E' || head[2] != 0 ||
      head[3] != 0)
    return "not a Windows executable (no PE header where its MZ header points)";
  headers.characteristics = le16(head + 4 + 18);
  const std::uint16_t sections = le16(head + 4 + 2);
  headers.optional_size = le16(head + 4 + 16);
  headers.magic = le16(head + 4 + file_header_size);
  headers.optional_offset = headers.pe_offset + 4 + file_header_size;
  if (headers.magic != pe32_magic && headers.magic != pe32_plus_magic)
    return "not a Windows executable (unknown optional header)";

  // NumberOfRvaAndSizes, then the data directories of 8 bytes each.
  const std::uint64_t count_offset = headers.magic == pe32_magic ? 92 : 108;
  const std::uint64_t entry_offset = count_offset + 4 + pe_certificate_directory * 8;
  unsigned char count[4], entry[8];
  if (headers.optional_size >= entry_offset + 8 && file.read_at(headers.optional_offset + count_offset, count, 4) &&
      le32(count) > pe_certificate_directory && file.read_at(headers.optional_offset + entry_offset, entry, 8)) {
    headers.certificate_table = le32(entry);
    headers.certificate_size = le32(entry + 4);
  }
  // Each section header: raw size at 16, raw offset at 20.
  const std::uint64_t table = headers.optional_offset + headers.optional_size;
  std::uint64_t end = 0;
  unsigned char raw[8];
  for (std::uint16_t i = 0; i < sections && i < most_sections; ++i) {
    if (!file.read_at(table + i * std::uint64_t{40} + 16, raw, sizeof raw)) {
      end = 0;
      break;
    }
    if (le32(raw) != 0) end = std::max<std::uint64_t>(end, std::uint64_t{le32(raw + 4)} + le32(raw));
  }
  headers.sections_end = end;
  return "";
}

std::string executable_problem(const pe_headers& headers) {
  if ((headers.characteristics & dll) != 0) return "a DLL, not an executable";
  if ((headers.characteristics & executable_image) == 0) return "not marked as an executable image";
  return "";
}

std::string program_image_problem(byte_source& file) {
  pe_headers headers;
  std::string problem = read_pe_headers(file, headers);
  return problem.empty() ? executable_problem(headers) : problem;
}
