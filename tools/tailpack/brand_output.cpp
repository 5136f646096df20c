#include "tools/tailpack/brand_output.h"

#include "tools/tailpack/text_view.h"

namespace tailpack {

namespace {

json or_null(const std::optional<std::string>& text) { return text ? json(*text) : json(nullptr); }

}  // namespace

json json_brand(const std::optional<brand_info>& brand) {
  if (!brand) return nullptr;
  return {{"product", or_null(brand->product)},         {"family", or_null(brand->family)},
          {"version", or_null(brand->version)},         {"company", or_null(brand->company)},
          {"description", or_null(brand->description)}, {"copyright", or_null(brand->copyright)},
          {"icons", brand->icons}};
}

void print_brand(const std::optional<brand_info>& brand, std::ostream& out) {
  if (!brand) return;
  const auto text = [](const std::optional<std::string>& t) { return t ? quoted_utf8(*t) : std::string("none"); };
  out << "brand: product " << text(brand->product) << ", family " << text(brand->family) << ", version "
      << text(brand->version) << ", company " << text(brand->company) << ", " << brand->icons << " icon group(s)\n";
}

}  // namespace tailpack
