#include "diagnostics/log.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/windows.h"

namespace {

// What the recording listeners saw, in the order of the calls, and which of them were deleted.
struct journal {
  std::vector<std::string> lines;  // "<name>:<text>"
  std::vector<std::string> headers;
  std::vector<std::string> deleted;
};

class recorder final : public tessel::log::listener {
 public:
  recorder(std::shared_ptr<journal> seen, std::string name, int failures = 0)
      : seen_(std::move(seen)), name_(std::move(name)), failures_(failures) {}
  ~recorder() override { seen_->deleted.push_back(name_); }

  void write(std::int32_t level, const std::string& header, const std::string& text) override {
    EXPECT_EQ(level, 1);
    seen_->lines.push_back(name_ + ":" + text);
    seen_->headers.push_back(header);
    if (failures_ > 0) {
      --failures_;
      throw std::runtime_error("listener failed");
    }
  }

 private:
  std::shared_ptr<journal> seen_;
  std::string name_;
  int failures_;
};

// Every test starts and ends with no dispatcher.
class log_front_end : public testing::Test {
 protected:
  void SetUp() override { tessel::log::shutdown(); }
  void TearDown() override { tessel::log::shutdown(); }
  std::shared_ptr<journal> seen = std::make_shared<journal>();
};

TEST_F(log_front_end, NarrowAndWideTextsArriveAsUtf8) {
  // The system's ANSI code page here is 1252.
  struct row {
    std::string text, expected;
  } rows[] = {
      {"abc", "abc"},
      {"", ""},
      {"caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},  // ANSI characters
      // UTF-8 bytes that are valid ANSI are read as ANSI, each byte one character.
      {"\xC3\xA9", "\xC3\x83\xC2\xA9"},
  };
  tessel::log::attach(new recorder(seen, "r"));
  for (const row& r : rows) tessel::log::write_line(r.text);
  tessel::log::write_line(std::wstring(L"\u4E2D \u00E9 \U0001F600"));
  ASSERT_EQ(seen->lines.size(), std::size(rows) + 1);
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(seen->lines[i], "r:" + rows[i].expected) << i;
  EXPECT_EQ(seen->lines.back(), "r:\xE4\xB8\xAD \xC3\xA9 \xF0\x9F\x98\x80");
}

TEST_F(log_front_end, FormattedLineLongerThanTheFirstBufferIsWhole) {
  tessel::log::attach(new recorder(seen, "r"));
  const std::string long_text(3000, 'x');
  tessel::log::write_linef("<%s|%d>", long_text.c_str(), 42);
  EXPECT_EQ(seen->lines, std::vector<std::string>{"r:<" + long_text + "|42>"});
}

TEST_F(log_front_end, HeaderIsTheLocalTimeAndFourSpaces) {
  tessel::log::attach(new recorder(seen, "r"));
  SYSTEMTIME before{};
  GetLocalTime(&before);
  tessel::log::write_line("abc");
  ASSERT_EQ(seen->headers.size(), 1u);
  const std::string& header = seen->headers[0];
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(header, parts, std::regex("(\\d{4})/(\\d{2})/(\\d{2}) \\d{2}:\\d{2}:\\d{2}    ")))
      << "[" << header << "]";
  EXPECT_EQ(std::stoi(parts[1]), before.wYear);
  EXPECT_EQ(std::stoi(parts[2]), before.wMonth);
}

TEST_F(log_front_end, LaterListenerIsServedFirstOnlyBetweenAttachAndShutdown) {
  tessel::log::write_line("early");
  tessel::log::attach(new recorder(seen, "first"));
  tessel::log::attach(new recorder(seen, "second"));
  tessel::log::write_line("m");
  EXPECT_TRUE(seen->deleted.empty());
  tessel::log::shutdown();
  EXPECT_EQ(seen->deleted.size(), 2u);
  EXPECT_NO_THROW(tessel::log::write_line("late"));
  EXPECT_NO_THROW(tessel::log::write_line(std::wstring(L"late")));
  EXPECT_NO_THROW(tessel::log::shutdown());
  EXPECT_EQ(seen->lines, (std::vector<std::string>{"second:m", "first:m"}));
}

TEST_F(log_front_end, NarrowLineRetriesWhenAListenerFailsAWideOneDoesNot) {
  const std::string fixed = "r:tessel::log: unable to convert input to unicode";
  struct row {
    bool wide;
    int failures;
    std::vector<std::string> expected;
    bool throws;
  } rows[] = {
      // A failure in the ANSI attempt leads to the UTF-8 attempt.
      {false, 1, {"r:abc", "r:abc"}, false},
      // Then to the fixed text; a failure there reaches the caller.
      {false, 2, {"r:abc", "r:abc", fixed}, false},
      {false, 3, {"r:abc", "r:abc", fixed}, true},
      {true, 1, {"r:abc"}, true},
  };
  for (const row& r : rows) {
    tessel::log::shutdown();
    seen->lines.clear();
    tessel::log::attach(new recorder(seen, "r", r.failures));
    bool thrown = false;
    try {
      r.wide ? tessel::log::write_line(std::wstring(L"abc")) : tessel::log::write_line("abc");
    } catch (const std::runtime_error&) {
      thrown = true;
    }
    EXPECT_EQ(seen->lines, r.expected) << r.wide << r.failures;
    EXPECT_EQ(thrown, r.throws) << r.wide << r.failures;
  }
}

TEST_F(log_front_end, NarrowTextTheAnsiCodePageRejectsIsReadAsUtf8) {
  // Only a multibyte ANSI code page rejects some bytes: in 932 the last 0x81 of the UTF-8 text
  // U+3041 is a lead byte without its trail byte. Code page 1252 takes every byte.
  // CTest runs it under 932 (LC_ALL=ja_JP.UTF-8) as diagnostics_win_tests_cp932.
  if (GetACP() != 932) GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
  tessel::log::attach(new recorder(seen, "r"));
  tessel::log::write_line("\xE3\x81\x81");
  tessel::log::write_line("\x82\xA0");  // U+3042 in 932: valid ANSI, read as ANSI
  EXPECT_EQ(seen->lines, (std::vector<std::string>{"r:\xE3\x81\x81", "r:\xE3\x81\x82"}));
}

}  // namespace
