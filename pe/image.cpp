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
constexpr std::uint16_t most_sections = 96;  // the loader's own limit

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

namespace {

// Optional header fields, the same in PE32 and PE32+.
constexpr std::uint64_t section_alignment_at = 32, checksum_at = 64;

// The data directories and the section table; false when they lie outside the file.
bool read_tables(byte_source& file, pe_layout& layout, std::uint16_t section_count) {
  const pe_headers& headers = layout.headers;
  const std::uint64_t count_offset = headers.magic == pe32_magic ? 92 : 108;
  unsigned char fields[36];  // SectionAlignment to CheckSum
  if (headers.optional_size < count_offset + 4 ||
      !file.read_at(headers.optional_offset + section_alignment_at, fields, sizeof fields))
    return true;  // a header too short to hold them: nothing more to read
  layout.section_alignment = le32(fields);
  layout.file_alignment = le32(fields + 4);
  layout.size_of_image = le32(fields + 24);
  layout.size_of_headers = le32(fields + 28);
  layout.checksum_offset = headers.optional_offset + checksum_at;
  unsigned char count[4];
  if (!file.read_at(headers.optional_offset + count_offset, count, 4)) return false;
  layout.directories = headers.optional_offset + count_offset + 4;
  const std::uint64_t room = (headers.optional_size - count_offset - 4) / 8;
  layout.directory_count = static_cast<std::uint32_t>(std::min<std::uint64_t>(le32(count), room));
  unsigned char entry[8];
  if (layout.directory_count > pe_resource_directory &&
      file.read_at(layout.directories + pe_resource_directory * 8, entry, 8)) {
    layout.resource_rva = le32(entry);
    layout.resource_size = le32(entry + 4);
  }
  layout.section_table = headers.optional_offset + headers.optional_size;
  if (section_count > most_sections) return false;
  for (std::uint16_t i = 0; i < section_count; ++i) {
    unsigned char h[pe_section_header_size];
    if (!file.read_at(layout.section_table + i * std::uint64_t{pe_section_header_size}, h, sizeof h)) return false;
    pe_section section;
    section.name.assign(reinterpret_cast<const char*>(h), 8);
    section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
    section.virtual_size = le32(h + 8);
    section.virtual_address = le32(h + 12);
    section.raw_size = le32(h + 16);
    section.raw_offset = le32(h + 20);
    section.characteristics = le32(h + 36);
    layout.sections.push_back(section);
  }
  return true;
}

}  // namespace

std::string read_pe_layout(byte_source& file, pe_layout& layout) {
  std::string problem = read_pe_headers(file, layout.headers);
  if (!problem.empty()) return problem;
  unsigned char count[2];
  if (!file.read_at(layout.headers.pe_offset + 4 + 2, count, 2) || !read_tables(file, layout, le16(count)))
    return "not a Windows executable (its section table lies outside the file)";
  return "";
}

std::int64_t pe_rva_to_offset(const pe_layout& layout, std::uint32_t rva, std::uint32_t size) {
  for (const pe_section& s : layout.sections) {
    const std::uint64_t start = s.virtual_address, end = start + s.raw_size;
    if (rva >= start && std::uint64_t{rva} + size <= end) return static_cast<std::int64_t>(s.raw_offset + (rva - start));
  }
  return -1;
}

std::uint32_t pe_checksum(const std::string& image, std::uint64_t checksum_offset) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < image.size(); i += 2) {
    if (i >= checksum_offset && i < checksum_offset + 4) continue;
    std::uint32_t word = static_cast<unsigned char>(image[i]);
    if (i + 1 < image.size()) word |= std::uint32_t{static_cast<unsigned char>(image[i + 1])} << 8;
    sum += word;
    sum = (sum & 0xffff) + (sum >> 16);
  }
  sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + image.size());
}

namespace {

// Reads the resource directory of one image: offsets are relative to the directory's start, data
// entries hold RVAs.
class resource_reader {
 public:
  resource_reader(const std::string& image, const pe_layout& layout, std::uint64_t base)
      : image_(image), layout_(layout), base_(base) {}

  // The directory at `offset`, at `level` (0 type, 1 name, 2 language). Empty on success.
  std::string read(std::uint32_t offset, int level, pe_resource& path, std::vector<pe_resource>& out) {
    if (!fits(offset, 16)) return "a resource directory lies outside the resource section";
    const auto* d = bytes(offset);
    const std::uint32_t count = std::uint32_t{le16(d + 12)} + le16(d + 14);
    if (!fits(offset + 16, count * 8ull)) return "a resource directory's entries lie outside the resource section";
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto* e = bytes(offset + 16 + i * 8);
      const std::uint32_t name = le32(e), target = le32(e + 4);
      pe_resource_id id;
      if (name & 0x80000000u) {
        std::string problem = read_name(name & 0x7fffffffu, id.text);
        if (!problem.empty()) return problem;
      } else {
        id.number = static_cast<std::uint16_t>(name);
      }
      if (level == 0) path.type = id;
      if (level == 1) path.name = id;
      if (level == 2) path.language = id.number;
      const bool subdirectory = (target & 0x80000000u) != 0;
      if (subdirectory != (level < 2)) return "the resource directory does not have three levels";
      std::string problem = subdirectory ? read(target & 0x7fffffffu, level + 1, path, out) : read_data(target, path, out);
      if (!problem.empty()) return problem;
    }
    return "";
  }

 private:
  bool fits(std::uint64_t offset, std::uint64_t size) const {
    return offset + size <= layout_.resource_size && base_ + offset + size <= image_.size();
  }
  const unsigned char* bytes(std::uint64_t offset) const {
    return reinterpret_cast<const unsigned char*>(image_.data() + base_ + offset);
  }
  std::string read_name(std::uint32_t offset, std::u16string& text) const {
    if (!fits(offset, 2) || !fits(offset + 2, le16(bytes(offset)) * 2ull)) return "a resource name lies outside the section";
    for (std::uint32_t i = 0; i < le16(bytes(offset)); ++i) text += static_cast<char16_t>(le16(bytes(offset + 2 + i * 2)));
    return "";
  }
  std::string read_data(std::uint32_t offset, pe_resource& path, std::vector<pe_resource>& out) const {
    if (!fits(offset, 16)) return "a resource data entry lies outside the resource section";
    const auto* e = bytes(offset);
    const std::int64_t at = pe_rva_to_offset(layout_, le32(e), le32(e + 4));
    if (at < 0 || static_cast<std::uint64_t>(at) + le32(e + 4) > image_.size()) return "a resource's data lies outside the image";
    path.code_page = le32(e + 8);
    path.data = image_.substr(static_cast<std::size_t>(at), le32(e + 4));
    out.push_back(path);
    return "";
  }

  const std::string& image_;
  const pe_layout& layout_;
  std::uint64_t base_;
};

}  // namespace

std::string read_pe_resources(const std::string& image, const pe_layout& layout, std::vector<pe_resource>& resources) {
  resources.clear();
  if (layout.resource_rva == 0 || layout.resource_size == 0) return "";
  const std::int64_t base = pe_rva_to_offset(layout, layout.resource_rva, layout.resource_size);
  if (base < 0) return "the resource directory lies outside the image's sections";
  pe_resource path;
  return resource_reader(image, layout, static_cast<std::uint64_t>(base)).read(0, 0, path, resources);
}
