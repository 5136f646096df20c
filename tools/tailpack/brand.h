// A vendor's brand in a stub's resources: the product and family names (string resources 2002 and
// 2001, which the stub reads for its names on the machine), the icon and the version resource.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/byte_source.h"
#include "tools/tailpack/stub_check.h"

namespace tailpack {

// What create sets; an absent field keeps the stub's own. Texts in UTF-8.
struct brand_request {
  std::optional<std::string> product, family, company, description, copyright;
  std::optional<std::array<std::uint16_t, 4>> version;
  std::string version_text;  // as given: "1.2.3" or "1.2.3.4"
  std::string icon;          // the path of an .ico file; empty: none
  bool any() const { return product || family || company || description || copyright || version || !icon.empty(); }
};

// The longest name that the stub reads whole from its string table, in UTF-16 units.
constexpr std::size_t longest_resource_name = 259;

// "1.2.3" or "1.2.3.4", each number 0 to 65535. Throws usage_error.
std::array<std::uint16_t, 4> parse_version_text(const std::string& text);

// `stub` with the brand: the string table, the version resource (--product also sets ProductName,
// and FileDescription unless --description gives it) and the icon group replaced, written into a
// new last section; the checksum recomputed. Throws failure for a name too long or empty, an icon
// file that is not an .ico, or a stub that cannot take a new section.
std::string apply_brand(const stub_image& stub, const brand_request& brand, const std::string& icon_bytes);

// The brand that a package's stub image shows, in UTF-8.
struct brand_info {
  std::optional<std::string> family, product, version, company, description, copyright;
  std::size_t icons = 0;  // icon groups
};

// The brand of the image at the start of `file`; none when it is no image whose resources can be
// read (at most 64 MiB of it are read).
std::optional<brand_info> read_brand(byte_source& file);

}  // namespace tailpack
