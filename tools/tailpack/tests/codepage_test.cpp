// Texts in the target machine's code page: create --codepage stores the right bytes, list and
// extract give the UTF-8 back, and texts that cannot be stored are refused with a clear line.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tools/tailpack/codepage.h"
#include "tools/tailpack/text.h"
#include "tools/tailpack/tests/cli_run.h"

namespace {

using namespace testing_cli;
using namespace testing_files;

TEST(codepage, converts_both_ways_and_refuses_what_the_code_page_cannot_hold) {
  struct round_trip {
    unsigned code_page;
    std::string utf8, bytes;
  };
  const round_trip cases[] = {
      {1252, "Caf\xc3\xa9 \xe2\x82\xac", "Caf\xe9 \x80"},                                     // é, €
      {932, "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88.exe", "\x83\x65\x83\x58\x83\x67.exe"},  // テスト.exe
      {65001, "\xe2\x82\xac", "\xe2\x82\xac"},
  };
  for (const round_trip& c : cases) {
    EXPECT_EQ(tailpack::utf8_to_code_page(c.utf8, c.code_page), c.bytes) << c.code_page;
    EXPECT_EQ(tailpack::code_page_to_utf8(c.bytes, c.code_page), c.utf8) << c.code_page;
  }
  using kind = tailpack::conversion_error::kind;
  const std::tuple<unsigned, std::string, kind> refused[] = {
      {1252, "\xd0\xa3", kind::unmappable},        // Cyrillic in Western European
      {1252, "\xc4\x80", kind::unmappable},        // Ā, which a best-fit converter turns into A
      {932, "\xc2\xa5", kind::unmappable},         // ¥, which a converter may store as a backslash
      {1252, "\xc3", kind::invalid_input},         // not UTF-8
      {1252, "\xed\xa0\x80", kind::invalid_input}, // an encoded surrogate
      {12345, "x", kind::unknown_code_page},
  };
  for (const auto& [code_page, text, expected] : refused) {
    try {
      tailpack::utf8_to_code_page(text, code_page);
      ADD_FAILURE() << "converted " << tailpack::quoted(text) << " to " << code_page;
    } catch (const tailpack::conversion_error& e) {
      EXPECT_EQ(e.what_kind, expected) << tailpack::quoted(text) << ": " << e.what();
    }
  }
  // A lead byte without its trail byte is no text in 932.
  EXPECT_THROW(tailpack::code_page_to_utf8("\x81", 932), tailpack::conversion_error);
}

class codepage_commands : public package_folder {
 protected:
  // A package whose own path is not ASCII (UTF-8, as tailpack takes every path).
  codepage_commands() { package = package_path.u8string(); }

  const std::filesystem::path package_path = dir.path() / std::filesystem::u8path("\xd0\xbf\xd0\xb0\xd0\xba.exe");
};

TEST_F(codepage_commands, round_trips_through_create_list_and_extract) {
  // A double-byte code page; the converters' own cases (above) cover the single-byte ones.
  const std::string name = "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88.exe", value = "\xe6\x97\xa5\xe6\x9c\xac";  // テスト.exe, 日本
  const std::string stored_name = "\x83\x65\x83\x58\x83\x67.exe", stored_value = "\x93\xfa\x96\x7b";
  const outcome made = create({"--codepage", "932", "--file", "installer32:" + name + "=" + (dir / "setup.exe"),
                               "--value", "executable32=%installer32%", "--value", "title=" + value});
  ASSERT_EQ(made.status, tailpack::exit_ok) << made.err;
  EXPECT_NE(read(package_path).find(samples::record(stored_name)), std::string::npos);
  EXPECT_NE(read(package_path).find(samples::record(stored_value)), std::string::npos);

  const outcome listed = tailpack_run({"list", "--codepage", "932", package});
  EXPECT_TRUE(contains(listed.out, "value \"title\" = \"" + value + "\"")) << listed.out;
  EXPECT_TRUE(contains(listed.out, "-> \"" + name + "\"")) << listed.out;
  // Without the code page, the same texts are escaped bytes.
  EXPECT_TRUE(contains(tailpack_run({"list", package}).out, tailpack::quoted(stored_name)));

  const std::string out = dir / "out";
  const outcome extracted = tailpack_run({"extract", "--codepage", "932", package, out});
  ASSERT_EQ(extracted.status, tailpack::exit_ok) << extracted.err;
  EXPECT_EQ(read(std::filesystem::path(out) / std::filesystem::u8path(name)), installer_image);
  EXPECT_TRUE(contains(extracted.out, "\"installer32\" = \"" + name + "\""));
}

TEST_F(codepage_commands, refuses_texts_it_cannot_store_with_one_line_naming_them) {
  write(package_path, "earlier");
  const std::string cyrillic = "\xd0\xa3\xd1\x81\xd1\x82";  // Уст
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      // Without --codepage: refused, and the message names the option.
      {{"--value", "title=" + cyrillic}, "the value \"" + cyrillic + "\" is not ASCII: give --codepage CP"},
      {{"--file", "k:" + cyrillic + ".exe=" + (dir / "setup.exe")}, "the stored name \"" + cyrillic + ".exe\" is not ASCII"},
      // With a code page that cannot hold them.
      {{"--codepage", "1252", "--value", "title=" + cyrillic},
       "the value \"" + cyrillic + "\": code page 1252 cannot hold U+0423 \"\xd0\xa3\""},
      {{"--codepage", "932", "--stub-name", "a\xc2\xa5.exe"}, "--stub-name \"a\xc2\xa5.exe\": code page 932 cannot hold U+00A5"},
      {{"--codepage", "1252", "--value", "t=\xff"}, "the value is not UTF-8"},
  };
  for (const auto& [options, message] : cases) expect_one_err_line(create(options), message, tailpack::exit_usage);
  EXPECT_EQ(read(package_path), "earlier");
  for (const char* code_page : {"0", "65536", "12a", "12345"}) {
    const outcome r = tailpack_run({"list", "--codepage", code_page, package});
    EXPECT_EQ(r.status, tailpack::exit_usage) << code_page;
    EXPECT_TRUE(contains(r.err, "--codepage")) << r.err;
  }
}

TEST_F(codepage_commands, escaped_bytes_are_stored_as_they_are_whatever_the_code_page) {
  // The literal é is converted, the escaped byte is not.
  const outcome r = create(samples::concat({"--codepage", "1252", "--escaped", "--value", "t=\xc3\xa9\\xe9\\xff"}, launchable()));
  ASSERT_EQ(r.status, tailpack::exit_ok) << r.err;
  EXPECT_NE(read(package_path).find(samples::record("\xe9\xe9\xff")), std::string::npos);
}

// verify decodes with --codepage; a byte that one platform's converter leaves undefined (0x81 in
// 1252: iconv refuses it, Windows gives U+0081) is shown as bytes and listed as undecoded on both.
TEST_F(codepage_commands, verify_decodes_and_undefined_bytes_stay_bytes_on_every_platform) {
  EXPECT_THROW(tailpack::code_page_to_utf8("\x81", 1252), tailpack::conversion_error);
  const std::string name = "\xd0\xa3\xd1\x81\xd1\x82.exe";  // Уст.exe
  ASSERT_EQ(create({"--codepage", "1251", "--file", "installer32:" + name + "=" + (dir / "setup.exe"), "--value",
                    "executable32=%installer32%"}).status, tailpack::exit_ok);
  const outcome decoded = tailpack_run({"verify", "--codepage", "1251", package});
  EXPECT_EQ(decoded.out, package + ": accepted, launches \"" + name + "\"\n" + package + ": not signed\n");
  ASSERT_EQ(create({"--escaped", "--file", "installer32:a\\x81.exe=" + (dir / "setup.exe"), "--value",
                    "executable32=%installer32%"}).status, tailpack::exit_ok);
  const outcome undefined = tailpack_run({"verify", "--codepage", "1252", "--json", package});
  const nlohmann::json doc = nlohmann::json::parse(undefined.out);
  EXPECT_EQ(doc["launch_file"], "a\xc2\x81.exe");  // one character per byte
  EXPECT_EQ(doc["undecoded"], nlohmann::json::array({"launch_file"}));
}

// verify and explain decode the package's texts as the stub does: a name of 200 double-byte
// characters (400 bytes) is within the stub's 255 characters, and a temporary folder in characters
// that the code page cannot hold is one the stub runs in.
TEST_F(codepage_commands, verify_and_explain_count_and_join_decoded_texts) {
  std::string long_name;
  for (int i = 0; i < 200; ++i) long_name += "\xe3\x83\x86";  // テ
  write(dir.path() / "data.bin", "data");
  ASSERT_EQ(create({"--codepage", "932", "--file", "installer32:setup.exe=" + (dir / "setup.exe"), "--file",
                    ":" + long_name + "=" + (dir / "data.bin"), "--value", "executable32=%installer32%"})
                .status,
            tailpack::exit_ok);
  EXPECT_EQ(tailpack_run({"verify", "--codepage", "932", package}).status, tailpack::exit_ok);
  EXPECT_NE(tailpack_run({"verify", package}).status, tailpack::exit_ok) << "400 bytes counted as characters";

  const std::string temp = "C:\\Users\\\xf0\x9f\x93\xa6\\Temp";  // an emoji, outside code page 932
  const outcome explained = tailpack_run({"explain", "--codepage", "932", "--temp-folder", temp, package});
  ASSERT_EQ(explained.status, tailpack::exit_ok) << explained.err;
  EXPECT_TRUE(contains(explained.out, "file: " + temp + "\\QVT1700000000\\setup.exe\n")) << explained.out;
}

// create warns, and still writes, for what the stub would run but perhaps not as meant.
TEST_F(codepage_commands, create_warns_for_an_msi_and_for_keys_given_twice_or_set_by_the_stub) {
  write(dir.path() / "product.msi", "msi");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--file", "installer32=" + (dir / "product.msi"), "--value", "executable32=%installer32%"},
       "names an .msi file: the stub's parameters reach msiexec only through the file association"},
      {samples::concat(launchable(), {"--value", "msilog=ON", "--value", "msilog=OFF"}),
       "key \"msilog\" is given 2 times: the last one given takes effect"},
      {samples::concat(launchable(), {"--value", "commandline=/x"}), "key \"commandline\" is one the stub sets itself"},
  };
  for (const auto& [options, message] : cases) expect_one_err_line(create(options), message, tailpack::exit_ok);
}

}  // namespace
