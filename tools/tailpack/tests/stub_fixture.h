// A stub for the tests: a minimal program image with the resources of the real stub that tailpack
// reads (its mark, the names 2001 and 2002, a version resource), written by tailpack's own
// resource writer; the third-party readers in brand_test check that writer.
#pragma once
#include <string>

#include "pe/image.h"
#include "package/record.h"
#include "package/stub_mark.h"
#include "pe/tests/pe_image.h"
#include "pe/resource_section.h"
#include "pe/version_resource.h"

namespace testing_cli {

using namespace tailrun;

inline std::string utf16_bytes(const std::u16string& text) {
  std::string b;
  for (const char16_t c : text) b += {static_cast<char>(c), static_cast<char>(c >> 8)};
  return b;
}

// `image` (a minimal image) with the stub's resources.
inline std::string with_stub_resources(const std::string& image) {
  memory_source source(image);
  pe_layout layout;
  read_pe_layout(source, layout);
  std::string fixed(52, '\0');
  pe::put32(fixed, 0, 0xfeef04bd);
  const auto text = [](const char16_t* key, const std::u16string& value) {
    return version_node{key, true, utf16_bytes(value + u'\0'), {}};
  };
  const version_node version{
      u"VS_VERSION_INFO", false, fixed,
      {{u"StringFileInfo", true, "", {{u"040904B0", true, "", {text(u"ProductName", u"Quorvane"),
                                                                text(u"FileVersion", u"1.0.0")}}}}}};
  std::string block;
  for (int i = 0; i < 16; ++i) {
    const std::u16string s = i == 1 ? u"Brightfold" : i == 2 ? u"Quorvane" : u"";
    block += utf16_bytes(std::u16string(1, static_cast<char16_t>(s.size())) + s);
  }
  const std::string mark = TAILRUN_STUB_MARK_TYPE_TEXT;
  const std::vector<pe_resource> resources = {
      {{0, std::u16string(mark.begin(), mark.end())}, {TAILRUN_STUB_MARK_ID, {}}, 0, 0, TAILRUN_STUB_MARK_TEXT},
      {{pe_rt_string, {}}, {126, {}}, 0, 0, block},
      {{pe_rt_version, {}}, {1, {}}, 0x409, 0, write_version(version)},
  };
  return with_resources(image, layout, resources);
}

// The test stub: the tail marker's text in its code, as the real stub has, and its resources.
inline std::string tailrun_stub() { return with_stub_resources(pe::minimal_image("stub code " + tail_marker_text())); }

}  // namespace testing_cli
