#include "support/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/tests/test_helpers.h"

namespace {

using tessel::registry2::key;
using tessel::test::thrown;

// The test-only branch under HKEY_CURRENT_USER; each test gets its own sub-key, removed with
// everything under it when the test ends, passed or failed.
const std::wstring test_branch = L"Software\\Tailrun-tests";

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = test_branch + L"\\registry-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter_);
    HKEY created = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
        ERROR_SUCCESS);
    raw_.reset(created);
  }

  void TearDown() override {
    raw_.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, test_branch.c_str());  // only when no other run uses it
  }

  // Stores raw bytes as value `name` of type `type`.
  void store(const std::wstring& name, DWORD type, const void* data, std::size_t bytes) {
    ASSERT_EQ(
        RegSetValueExW(raw_.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes)),
        ERROR_SUCCESS);
  }
  void store_units(const std::wstring& name, DWORD type, const std::wstring& units) {
    store(name, type, units.data(), units.size() * sizeof(wchar_t));
  }

  // The test's key through the class under test.
  key open_test_key() const { return key(HKEY_CURRENT_USER).open(path_); }

  std::wstring path_;
  tessel::unique_hkey raw_;
  static int counter_;
};

int Registry::counter_ = 0;

TEST_F(Registry, ReadString) {
  wchar_t root[MAX_PATH] = {};
  const std::wstring system_root(root, GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH));
  ASSERT_FALSE(system_root.empty());
  const std::wstring long_value(20000, L'v');
  ASSERT_TRUE(SetEnvironmentVariableW(L"TAILRUN_TEST_LONG", long_value.c_str()));
  const std::string too_long = "registry2.value_error[ExpandEnvironmentStrings() failed: value \"v\" (122)]";
  const struct {
    DWORD type;
    std::wstring stored;  // the exact units stored, terminators included
    std::wstring expected;
    std::string failure = "none";
  } cases[] = {
      {REG_SZ, std::wstring(L"abc", 4), L"abc"},
      {REG_SZ, L"abc", L"abc"},  // stored without a terminator: nothing is lost
      {REG_SZ, std::wstring(L"", 1), L""},
      {REG_SZ, L"", L""},                                              // no bytes at all
      {REG_SZ, std::wstring(L"ab\0\0", 4), std::wstring(L"ab\0", 3)},  // only one terminator goes
      {REG_SZ, std::wstring(L"a\0b\0", 4), std::wstring(L"a\0b", 3)},  // inner zeros stay
      {REG_SZ, std::wstring(L"%SystemRoot%\\x", 15), L"%SystemRoot%\\x"},
      {REG_EXPAND_SZ, std::wstring(L"%SystemRoot%\\x", 15), system_root + L"\\x"},
      {REG_SZ, std::wstring(40000, L'a'), std::wstring(40000, L'a')},         // no expansion limit applies
      {REG_EXPAND_SZ, std::wstring(L"%SystemRoot%\0tail", 17), system_root},  // expansion stops at a zero
      // The system expands at most 32766 units into a 32768-unit buffer; beyond that the text
      // would come back cut short, so it is refused.
      {REG_EXPAND_SZ, std::wstring(32766, L'a') + L'\0', std::wstring(32766, L'a')},
      {REG_EXPAND_SZ, L"%TAILRUN_TEST_LONG%" + std::wstring(12766, L'b') + L'\0',
       long_value + std::wstring(12766, L'b')},
      {REG_EXPAND_SZ, std::wstring(32767, L'a') + L'\0', L"", too_long},  // the system would cut the source
      {REG_EXPAND_SZ, std::wstring(40000, L'a') + L"%SystemRoot%" + L'\0', L"", too_long},
      {REG_EXPAND_SZ, std::wstring(L"%TAILRUN_TEST_LONG%%TAILRUN_TEST_LONG%", 39), L"", too_long},  // 40000 expanded
  };
  const key tested = open_test_key();
  for (const auto& c : cases) {
    store_units(L"v", c.type, c.stored);
    std::wstring result;
    EXPECT_EQ(thrown([&] { result = tested.read_string(L"v"); }), c.failure) << c.stored.size();
    // Compared as a truth value: the long texts would flood the report.
    EXPECT_TRUE(result == c.expected) << "type " << c.type << ", " << c.stored.size() << " units stored, "
                                      << result.size() << " read, " << c.expected.size() << " expected";
  }
  SetEnvironmentVariableW(L"TAILRUN_TEST_LONG", nullptr);
  store(L"v", REG_SZ, "a\0b", 3);  // one unit and one byte: the odd byte is not counted
  EXPECT_EQ(tested.read_string(L"v"), L"a");
}

TEST_F(Registry, ReadStringFailures) {
  const DWORD number = 7;
  store(L"X", REG_DWORD, &number, sizeof number);
  store_units(L"multi", REG_MULTI_SZ, std::wstring(L"a\0b\0\0", 5));
  store(L"none", REG_NONE, "ab", 2);
  const struct {
    const wchar_t* name;
    const char* expected;
  } cases[] = {
      {L"missing", "registry2.value_error[Not found: value \"missing\"]"},
      {L"X", "registry2.type_mismatch[Type mismatch: value \"X\" expected 1 found 4]"},
      {L"multi", "registry2.type_mismatch[Type mismatch: value \"multi\" expected 1 found 7]"},
      {L"none", "registry2.value_error[Not found: value \"none\"]"},  // REG_NONE reads as missing
  };
  const key tested = open_test_key();
  for (const auto& c : cases) {
    EXPECT_EQ(thrown([&] { tested.read_string(c.name); }), c.expected);
    EXPECT_EQ(thrown([&] { tested.read_narrow_string(c.name); }), c.expected);
  }
}

TEST_F(Registry, ValuesBetweenTheSizeQueryAndTheRead) {
  const key tested = open_test_key();
  store_units(L"v", REG_SZ, std::wstring(L"abc", 4));
  const tessel::registry2::value_info info = tessel::registry2::probe(tested.handle(), L"v");

  const struct {
    std::wstring replacement;  // empty: the value is deleted
    const char* expected;
  } cases[] = {
      {std::wstring(L"abcde", 6), "registry2.size_mismatch[Size mismatch: value \"v\" expected 8 found 12]"},
      {std::wstring(L"a", 2), "registry2.size_mismatch[Size mismatch: value \"v\" expected 8 found 4]"},
      {L"", "registry2.value_error[RegQueryValueEx() failed: value \"v\" (2)]"},
  };
  for (const auto& c : cases) {
    if (c.replacement.empty()) {
      ASSERT_EQ(RegDeleteValueW(raw_.get(), L"v"), ERROR_SUCCESS);
    } else {
      store_units(L"v", REG_SZ, c.replacement);
    }
    EXPECT_EQ(thrown([&] { tessel::registry2::read_exact(tested.handle(), L"v", info.size); }), c.expected);
  }
}

TEST_F(Registry, WriteString) {
  const DWORD number = 7;
  store(L"was_number", REG_DWORD, &number, sizeof number);
  const struct {
    const wchar_t* name;
    std::wstring text;
  } cases[] = {
      {L"Language", L""},
      {L"text", L"abc \u00E9\u4E2D"},
      {L"was_number", L"replaced"},
      {L"", L"the unnamed value"},
  };
  const key tested = open_test_key();
  for (const auto& c : cases) {
    tested.write_string(c.name, c.text);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExW(raw_.get(), c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (c.text.size() + 1) * sizeof(wchar_t)) << "one terminating zero unit";
    EXPECT_EQ(tested.read_string(c.name), c.text);
  }
}

TEST_F(Registry, TextOutsideTheAnsiCodePage) {
  const std::wstring text = L"a\u4E2Db";
  store_units(L"wide", REG_SZ, text + L'\0');
  store_units(L"narrow", REG_SZ, std::wstring(L"caf\u00E9", 5));
  const key tested = open_test_key();
  EXPECT_EQ(tested.read_string(L"wide"), text);
  EXPECT_EQ(thrown([&] { tested.read_narrow_string(L"wide"); }), "unicode.unmappable_character[]");
  EXPECT_EQ(tested.read_narrow_string(L"narrow"), "caf\xE9");
  // A name that cannot go into a message: the conversion's exception, not the registry's.
  EXPECT_EQ(thrown([&] { tested.read_string(L"missing\u4E2D"); }), "unicode.unmappable_character[]");
  EXPECT_EQ(thrown([&] { tested.open(L"missing\u4E2D"); }), "unicode.unmappable_character[]");
}

TEST_F(Registry, OpeningKeys) {
  const std::string narrow_path(path_.begin(), path_.end());
  EXPECT_EQ(thrown([&] { key(HKEY_CURRENT_USER).open(path_ + L"\\missing"); }),
            "registry2.key_error[RegOpenKeyEx() failed: key \"" + narrow_path + "\\missing\" (2)]");
  // Not a predefined key: the handle is printed as a signed 32-bit number.
  const auto bogus = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000099)));
  EXPECT_EQ(thrown([&] { key{bogus}; }), "registry2.key_error[RegOpenKeyEx() failed: handle -2147483495 (6)]");

  // Every test's key outlives the root key it was opened from (open_test_key); a key that
  // opens a sub-key stays usable and unchanged.
  store_units(L"v", REG_SZ, L"inner");
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExW(raw_.get(), L"child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(child);
  const key parent = open_test_key();
  parent.open(L"child").write_string(L"w", L"x");
  EXPECT_EQ(parent.read_string(L"v"), L"inner");
  EXPECT_EQ(parent.open(L"child").read_string(L"w"), L"x");
}

// Wine grants every access that a key's DACL denies, so the fallback is checked on the rule itself.
TEST(RegistryAccess, FallbackOnAccessDeniedOnly) {
  const struct {
    std::vector<LONG> results;  // what the successive attempts return
    std::vector<std::uint32_t> asked;
    LONG final_result;
  } cases[] = {
      {{ERROR_SUCCESS}, {0x2001F}, ERROR_SUCCESS},
      {{ERROR_ACCESS_DENIED, ERROR_SUCCESS}, {0x2001F, 0x20019}, ERROR_SUCCESS},
      {{ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}, {0x2001F, 0x20019}, ERROR_FILE_NOT_FOUND},
      {{ERROR_FILE_NOT_FOUND}, {0x2001F}, ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    std::vector<std::uint32_t> asked;
    const LONG result = tessel::registry2::open_with_fallback([&](std::uint32_t access) {
      asked.push_back(access);
      return asked.size() <= c.results.size() ? c.results[asked.size() - 1] : LONG{-1};
    });
    EXPECT_EQ(asked, c.asked) << c.results.front();
    EXPECT_EQ(result, c.final_result);
  }
}

}  // namespace
