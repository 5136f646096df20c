// The brand of a package's stub as list and explain show it: one text line, or a JSON object.
#pragma once
#include <optional>
#include <ostream>

#include "tools/tailpack/brand.h"
#include "tools/tailpack/json_output.h"

namespace tailpack {

// "brand": {"product", "family", "version", "company", "description", "copyright" (each a string
// or null), "icons" (the number of icon groups)}; null when the stub's resources cannot be read.
json json_brand(const std::optional<brand_info>& brand);

// "brand: product "P", family "F", version "V", company "C", N icon group(s)"; nothing when the
// stub's resources cannot be read.
void print_brand(const std::optional<brand_info>& brand, std::ostream& out);

}  // namespace tailpack
