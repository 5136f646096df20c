#include "tools/tailpack/brand.h"

#include <algorithm>
#include <utility>

#include "base/little_endian.h"
#include "base/wtf8.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/options.h"
#include "pe/resource_section.h"
#include "tools/tailpack/text.h"
#include "pe/version_resource.h"

namespace tailpack {

namespace {

constexpr std::uint16_t family_id = 2001, product_id = 2002;
constexpr std::uint16_t group_name = 1;  // the icon group's id
constexpr std::uint64_t largest_image_read = 64ull << 20;

std::uint16_t at16(const std::string& b, std::size_t at) {
  return le16(reinterpret_cast<const unsigned char*>(b.data() + at));
}

void append16(std::string& b, std::uint32_t v) {
  b += static_cast<char>(v);
  b += static_cast<char>(v >> 8);
}

// A string-table block: 16 strings, each a length in UTF-16 units and the units.
std::vector<std::u16string> parse_block(const std::string& data) {
  std::vector<std::u16string> strings(16);
  std::size_t at = 0;
  for (std::u16string& s : strings) {
    if (at + 2 > data.size()) break;
    const std::size_t length = at16(data, at);
    for (std::size_t i = 0; i < length && at + 4 + 2 * i <= data.size(); ++i) s += static_cast<char16_t>(at16(data, at + 2 + 2 * i));
    at += 2 + 2 * length;
  }
  return strings;
}

std::string write_block(const std::vector<std::u16string>& strings) {
  std::string data;
  for (const std::u16string& s : strings) {
    append16(data, static_cast<std::uint32_t>(s.size()));
    for (const char16_t c : s) append16(data, c);
  }
  return data;
}

std::u16string resource_name(const std::string& utf8, const char* option) {
  std::u16string name;
  try {
    name = utf8_to_utf16(utf8);
  } catch (const std::invalid_argument&) {
    throw failure(std::string(option) + " is not UTF-8");
  }
  if (name.empty()) throw failure(std::string(option) + " is empty: the stub refuses to run without the name");
  if (name.size() > longest_resource_name)
    throw failure(std::string(option) + " has " + std::to_string(name.size()) + " characters (UTF-16 units): the stub reads at most " +
                  std::to_string(longest_resource_name));
  return name;
}

// Sets string `id` in every language of its block; adds a neutral block when there is none.
void set_string(std::vector<pe_resource>& resources, std::uint16_t id, const std::u16string& text) {
  const pe_resource_id block{static_cast<std::uint16_t>(id / 16 + 1), {}};
  bool found = false;
  for (pe_resource& r : resources) {
    if (!(r.type == pe_resource_id{pe_rt_string, {}}) || !(r.name == block)) continue;
    std::vector<std::u16string> strings = parse_block(r.data);
    strings[id % 16] = text;
    r.data = write_block(strings);
    found = true;
  }
  if (found) return;
  std::vector<std::u16string> strings(16);
  strings[id % 16] = text;
  pe_resource added;
  added.type.number = pe_rt_string;
  added.name = block;
  added.data = write_block(strings);
  resources.push_back(std::move(added));
}

// Replaces the icons and icon groups with the images of the .ico file `ico`.
void set_icon(std::vector<pe_resource>& resources, const std::string& ico) {
  if (ico.size() < 6 || at16(ico, 0) != 0 || at16(ico, 2) != 1 || at16(ico, 4) == 0)
    throw failure("--icon: not an icon file (.ico)");
  const std::size_t count = at16(ico, 4);
  if (6 + 16 * count > ico.size()) throw failure("--icon: its directory runs past the file");
  resources.erase(std::remove_if(resources.begin(), resources.end(), [](const pe_resource& r) {
                    return r.type == pe_resource_id{pe_rt_icon, {}} || r.type == pe_resource_id{pe_rt_group_icon, {}};
                  }), resources.end());
  std::string group = ico.substr(0, 6);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string entry = ico.substr(6 + 16 * i, 16);
    const auto* e = reinterpret_cast<const unsigned char*>(entry.data());
    const std::uint64_t size = le32(e + 8), offset = le32(e + 12);
    if (offset + size > ico.size() || size == 0) throw failure("--icon: image " + std::to_string(i + 1) + " runs past the file");
    const auto id = static_cast<std::uint16_t>(i + 1);
    resources.push_back({{pe_rt_icon, {}}, {id, {}}, 0, 0, ico.substr(offset, size)});
    group += entry.substr(0, 12);  // as in the file, without the offset
    append16(group, id);
  }
  resources.push_back({{pe_rt_group_icon, {}}, {group_name, {}}, 0, 0, group});
}

void set_version(std::vector<pe_resource>& resources, const brand_request& brand) {
  auto found = std::find_if(resources.begin(), resources.end(),
                            [](const pe_resource& r) { return r.type == pe_resource_id{pe_rt_version, {}}; });
  if (found == resources.end()) throw failure("the stub has no version resource to brand");
  version_node root = parse_version(found->data);
  if (brand.version) {
    set_version_numbers(root, *brand.version);
    set_version_string(root, "FileVersion", brand.version_text);
    set_version_string(root, "ProductVersion", brand.version_text);
  }
  if (brand.product) set_version_string(root, "ProductName", *brand.product);
  if (brand.description || brand.product)
    set_version_string(root, "FileDescription", brand.description ? *brand.description : *brand.product + " installer");
  if (brand.company) set_version_string(root, "CompanyName", *brand.company);
  if (brand.copyright) set_version_string(root, "LegalCopyright", *brand.copyright);
  found->data = write_version(root);
}

}  // namespace

std::array<std::uint16_t, 4> parse_version_text(const std::string& text) {
  std::array<std::uint16_t, 4> numbers{};
  std::size_t count = 0, at = 0;
  while (count < 4) {
    const std::size_t dot = std::min(text.find('.', at), text.size());
    const std::string part = text.substr(at, dot - at);
    if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(part) > 65535)
      break;
    numbers[count++] = static_cast<std::uint16_t>(std::stoul(part));
    if (dot == text.size()) {
      if (count >= 3) return numbers;
      break;
    }
    at = dot + 1;
  }
  throw usage_error("--version needs 1.2.3 or 1.2.3.4 (numbers up to 65535), got " + quoted(text));
}

std::string apply_brand(const stub_image& stub, const brand_request& brand, const std::string& icon_bytes) {
  std::vector<pe_resource> resources = stub.resources;
  if (brand.family) set_string(resources, family_id, resource_name(*brand.family, "--family"));
  if (brand.product) set_string(resources, product_id, resource_name(*brand.product, "--product"));
  if (!brand.icon.empty()) set_icon(resources, icon_bytes);
  if (brand.version || brand.product || brand.description || brand.company || brand.copyright) set_version(resources, brand);
  std::string image = with_resources(stub.bytes, stub.layout, resources);
  memory_source source(image);
  pe_layout layout;
  const std::string problem = read_pe_layout(source, layout);
  if (!problem.empty()) throw failure("the branded stub's headers do not read back: " + problem);
  update_checksum(image, layout);
  return image;
}

std::optional<brand_info> read_brand(byte_source& file) {
  pe_layout layout;
  if (!read_pe_layout(file, layout).empty()) return std::nullopt;
  std::uint64_t end = layout.size_of_headers;
  for (const pe_section& s : layout.sections) end = std::max<std::uint64_t>(end, s.raw_offset + std::uint64_t{s.raw_size});
  const std::int64_t size = file.seek_end();
  if (size < 0 || end > static_cast<std::uint64_t>(size) || end > largest_image_read) return std::nullopt;
  std::string image(static_cast<std::size_t>(end), '\0');
  if (!file.seek(-size) || !file.read(image.data(), image.size())) return std::nullopt;
  std::vector<pe_resource> resources;
  if (!read_pe_resources(image, layout, resources).empty()) return std::nullopt;
  brand_info info;
  for (const pe_resource& r : resources) {
    if (r.type == pe_resource_id{pe_rt_string, {}} && r.name == pe_resource_id{family_id / 16 + 1, {}}) {
      const std::vector<std::u16string> strings = parse_block(r.data);
      if (!strings[family_id % 16].empty()) info.family = utf16_to_utf8(strings[family_id % 16]);
      if (!strings[product_id % 16].empty()) info.product = utf16_to_utf8(strings[product_id % 16]);
    } else if (r.type == pe_resource_id{pe_rt_group_icon, {}}) {
      ++info.icons;
    } else if (r.type == pe_resource_id{pe_rt_version, {}}) {
      try {
        const version_node root = parse_version(r.data);
        info.version = version_string(root, "FileVersion");
        info.company = version_string(root, "CompanyName");
        info.description = version_string(root, "FileDescription");
        info.copyright = version_string(root, "LegalCopyright");
      } catch (const pe_error&) {
        // A version resource that cannot be read shows no version.
      }
    }
  }
  return info;
}

}  // namespace tailpack
