#include "tools/tailpack/signing.h"

#include <gtest/gtest.h>

#include "pe/tests/pe_image.h"

namespace {

// Code without a signature of its own is told apart from signed code and from data, also when an
// MSI's signature stream name falls across two blocks.
TEST(unsigned_code_probe, programs_and_msis_without_their_own_signature) {
  std::string signed_program = pe::minimal_image("code");
  pe::put32(signed_program, pe::security_entry(signed_program), 0x400);
  pe::put32(signed_program, pe::security_entry(signed_program) + 4, 8);
  const std::string msi = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, 'x');
  const std::string stream("\x05\0D\0i\0g\0i\0t\0a\0l\0S\0i\0g\0n\0a\0t\0u\0r\0e\0", 34);
  const struct {
    const char* what;
    std::string data;
    const char* kind;
  } cases[] = {
      {"program", pe::minimal_image("code"), "a program"},
      {"signed program", signed_program, ""},
      {"MSI", msi, "an MSI"},
      {"signed MSI", msi + stream + "tail", ""},
      {"text", "MZ is not enough", ""},
  };
  for (const auto& c : cases) {
    tailpack::unsigned_code_probe probe;
    for (std::size_t at = 0; at < c.data.size(); at += 7) probe.take(c.data.data() + at, std::min<std::size_t>(7, c.data.size() - at));
    EXPECT_EQ(probe.unsigned_kind(), c.kind) << c.what;
  }
}

}  // namespace
