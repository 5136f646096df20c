#include "pe/resource_section.h"

#include <map>

#include "base/ascii.h"
#include "base/little_endian.h"

namespace {

void put16(std::string& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}

void put32(std::string& b, std::size_t at, std::uint32_t v) {
  store_le32(reinterpret_cast<unsigned char*>(&b[at]), v);
}

std::uint32_t align(std::uint64_t value, std::uint32_t to) {
  return static_cast<std::uint32_t>(to == 0 ? value : (value + to - 1) / to * to);
}

// The order of entries in one directory: names (case-blind, then exact) before numbers.
struct id_order {
  bool operator()(const pe_resource_id& a, const pe_resource_id& b) const {
    if (a.text.empty() != b.text.empty()) return !a.text.empty();
    if (a.text.empty()) return a.number < b.number;
    std::u16string ua = a.text, ub = b.text;
    for (char16_t& c : ua) c = ascii_upper(c);
    for (char16_t& c : ub) c = ascii_upper(c);
    return ua != ub ? ua < ub : a.text < b.text;
  }
};

using language_map = std::map<std::uint16_t, const pe_resource*>;
using name_map = std::map<pe_resource_id, language_map, id_order>;
using type_map = std::map<pe_resource_id, name_map, id_order>;

std::uint32_t directory_size(std::size_t entries) { return static_cast<std::uint32_t>(16 + 8 * entries); }

// Writes one directory header at `at` with its counts of named and numbered entries.
bool is_named(const pe_resource_id& id) { return !id.text.empty(); }
bool is_named(std::uint16_t) { return false; }

template <typename Map>
void put_directory(std::string& b, std::uint32_t at, const Map& entries) {
  std::uint32_t named = 0;
  for (const auto& entry : entries) named += is_named(entry.first) ? 1 : 0;
  put16(b, at + 12, named);
  put16(b, at + 14, static_cast<std::uint32_t>(entries.size()) - named);
}

}  // namespace

std::string resource_section(const std::vector<pe_resource>& resources, std::uint32_t rva) {
  type_map tree;
  for (const pe_resource& r : resources) tree[r.type][r.name][r.language] = &r;

  // Sizes: the directories (root, types, names), the data entries, the names' strings.
  std::uint32_t directories = directory_size(tree.size()), data_entries = 0, strings = 0;
  const auto string_size = [](const pe_resource_id& id) { return id.text.empty() ? 0u : 2 + 2 * static_cast<std::uint32_t>(id.text.size()); };
  for (const auto& [type, names] : tree) {
    directories += directory_size(names.size());
    strings += string_size(type);
    for (const auto& [name, languages] : names) {
      directories += directory_size(languages.size());
      data_entries += 16 * static_cast<std::uint32_t>(languages.size());
      strings += string_size(name);
    }
  }
  std::uint32_t data_at = align(directories + data_entries + strings, 8), total = data_at;
  for (const pe_resource& r : resources) total = align(total + r.data.size(), 8);
  std::string b(total, '\0');

  std::uint32_t next_directory = directory_size(tree.size()), next_entry = directories;
  std::uint32_t next_string = directories + data_entries, next_data = data_at;
  const auto put_id = [&](std::uint32_t at, const pe_resource_id& id) {
    if (id.text.empty()) return put32(b, at, id.number);
    put32(b, at, 0x80000000u | next_string);
    put16(b, next_string, static_cast<std::uint32_t>(id.text.size()));
    for (std::size_t i = 0; i < id.text.size(); ++i) put16(b, next_string + 2 + 2 * i, id.text[i]);
    next_string += string_size(id);
  };
  put_directory(b, 0, tree);
  std::uint32_t type_slot = 16;
  for (const auto& [type, names] : tree) {
    const std::uint32_t type_directory = next_directory;
    next_directory += directory_size(names.size());
    put_id(type_slot, type);
    put32(b, type_slot + 4, 0x80000000u | type_directory);
    type_slot += 8;
    put_directory(b, type_directory, names);
    std::uint32_t name_slot = type_directory + 16;
    for (const auto& [name, languages] : names) {
      const std::uint32_t name_directory = next_directory;
      next_directory += directory_size(languages.size());
      put_id(name_slot, name);
      put32(b, name_slot + 4, 0x80000000u | name_directory);
      name_slot += 8;
      put_directory(b, name_directory, languages);
      std::uint32_t language_slot = name_directory + 16;
      for (const auto& [language, resource] : languages) {
        put32(b, language_slot, language);
        put32(b, language_slot + 4, next_entry);
        language_slot += 8;
        put32(b, next_entry, rva + next_data);
        put32(b, next_entry + 4, static_cast<std::uint32_t>(resource->data.size()));
        put32(b, next_entry + 8, resource->code_page);
        next_entry += 16;
        b.replace(next_data, resource->data.size(), resource->data);
        next_data = align(next_data + resource->data.size(), 8);
      }
    }
  }
  b.resize(next_data);
  return b;
}

std::string with_resources(const std::string& image, const pe_layout& layout, const std::vector<pe_resource>& resources) {
  if (layout.sections.empty() || layout.file_alignment == 0 || layout.section_alignment == 0)
    throw pe_error("the stub's image has no sections or no alignments to add resources to");
  std::uint64_t raw_end = layout.size_of_headers, virtual_end = 0;
  for (const pe_section& s : layout.sections) {
    raw_end = std::max<std::uint64_t>(raw_end, std::uint64_t{s.raw_offset} + s.raw_size);
    virtual_end = std::max<std::uint64_t>(virtual_end, std::uint64_t{s.virtual_address} + std::max(s.virtual_size, s.raw_size));
  }
  if (raw_end != image.size())
    throw pe_error("the stub's image has " + std::to_string(image.size() - raw_end) +
                  " bytes after its last section (appended data or a signature)");
  const std::uint64_t header = layout.section_table + layout.sections.size() * std::uint64_t{pe_section_header_size};
  if (header + pe_section_header_size > layout.size_of_headers)
    throw pe_error("the stub's headers have no room for another section");

  const std::uint32_t rva = align(virtual_end, layout.section_alignment);
  const std::string section = resource_section(resources, rva);
  const std::uint32_t raw_size = align(section.size(), layout.file_alignment);
  std::string out = image;
  out.resize(align(image.size(), layout.file_alignment), '\0');
  const std::uint32_t raw_offset = static_cast<std::uint32_t>(out.size());
  out += section;
  out.resize(raw_offset + std::uint64_t{raw_size}, '\0');

  std::string h(pe_section_header_size, '\0');
  h.replace(0, 5, ".rsrc");
  put32(h, 8, static_cast<std::uint32_t>(section.size()));
  put32(h, 12, rva);
  put32(h, 16, raw_size);
  put32(h, 20, raw_offset);
  put32(h, 36, 0x40000040u);  // initialised data, read
  out.replace(static_cast<std::size_t>(header), h.size(), h);
  put16(out, static_cast<std::size_t>(layout.headers.pe_offset + 4 + 2), static_cast<std::uint32_t>(layout.sections.size() + 1));
  put32(out, static_cast<std::size_t>(layout.headers.optional_offset + 56), align(rva + std::uint64_t{raw_size}, layout.section_alignment));
  if (layout.directory_count <= pe_resource_directory) throw pe_error("the stub's headers have no resource directory entry");
  put32(out, static_cast<std::size_t>(layout.directories + pe_resource_directory * 8), rva);
  put32(out, static_cast<std::size_t>(layout.directories + pe_resource_directory * 8 + 4), static_cast<std::uint32_t>(section.size()));
  return out;
}

void update_checksum(std::string& image, const pe_layout& layout) {
  put32(image, static_cast<std::size_t>(layout.checksum_offset), pe_checksum(image, layout.checksum_offset));
}

