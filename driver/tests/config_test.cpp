#include "driver/config.h"

#include <gtest/gtest.h>

#include <string>

#include "base/exception.h"

using namespace tailrun;

namespace {

// This executable's own string table (config_test.rc).
HINSTANCE own_module() { return GetModuleHandleA(nullptr); }

std::wstring alphabet(std::size_t length) {
  std::wstring text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
  return text;
}

TEST(config, ResourceStrings) {
  struct row {
    std::int32_t id;
    std::wstring expected;
    std::string thrown;
  } rows[] = {
      {2001, L"Family \u00e9 name", ""},
      {5002, alphabet(259), ""},  // 300 characters, cut
      {5001, L"", "[resource string 5001 is not found]"},  // empty counts as missing
      {5003, L"", "[resource string 5003 is not found]"},
      {-1, L"", "[resource string -1 is not found]"},
  };
  for (const row& r : rows) {
    try {
      EXPECT_EQ(load_resource_string(r.id, own_module()), r.expected) << r.id;
      EXPECT_EQ(r.thrown, "") << r.id;
    } catch (const tessel::exception& e) {
      EXPECT_EQ(e.what(), r.thrown) << r.id;
      EXPECT_STREQ(e.category(), "") << r.id;
    }
  }
}

TEST(config, InitLoadsBothNames) {
  config::init(own_module());
  EXPECT_EQ(config::family(), L"Family \u00e9 name");
  EXPECT_EQ(config::product(), L"Product \u4e2d name");
}

}  // namespace
