// Signed packages: code signing appends a certificate table after the chain. The table is not
// covered by the signature, so a chain planted in it must not be taken.
//
// The signed package comes from TAILPACK_SIGNED_PACKAGE when set (the Windows run, whose package is
// signed on the build machine), or is made here with openssl and osslsigncode; without either, the
// tests are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "package/chain.h"
#include "package/settings_map.h"
#include "tools/tailpack/cli.h"
#include "tools/tailpack/tests/cli_run.h"
#include "tools/tailpack/tests/pe_image.h"
#include "package/tests/sample_packages.h"
#include "tools/tailpack/tests/test_files.h"

namespace {

using namespace testing_cli;
using namespace testing_files;

// Runs a command through the POSIX shell with a time limit; true when it exits with 0.
bool shell(const std::string& command) {
  return std::system(("timeout 120 " + command + " >/dev/null 2>&1").c_str()) == 0;
}

// The walk's verdict and the settings it met (insert-if-absent, as the stub does).
struct walked {
  walk_result result;
  settings_map settings;
};

walked walk(const std::string& bytes) {
  memory_source source(bytes);
  walked w;
  w.result = walk_chain(source, [&w](chain_entry& e) {
    insert_setting(e, w.settings);
    return true;
  });
  return w;
}

class signed_package : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder = std::make_unique<temp_folder>();
    if (const char* given = std::getenv("TAILPACK_SIGNED_PACKAGE")) {
      bytes = read(given);
      if (bytes.empty()) skip_reason = std::string("cannot read ") + given;
      return;
    }
    if (!shell("openssl version") || !shell("osslsigncode --version")) {
      skip_reason = "openssl or osslsigncode is not available";
      return;
    }
    // The stub image is a real (if minimal) PE32 that holds the marker text, as the stub does. The
    // entries are those that the Windows test script gives as well.
    unsigned_bytes = samples::package(pe::minimal_image("stub code " + tail_marker_text()), "Tailrun.exe",
                                      {package_entry::make_value("parameters", "/qn"),
                                       package_entry::make_value("msilog", "ON")});
    write(path("unsigned.exe"), unsigned_bytes);
    ASSERT_TRUE(shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test -addext "
                      "extendedKeyUsage=codeSigning -keyout " + path("key.pem") + " -out " + path("cert.pem")));
    ASSERT_TRUE(shell("osslsigncode sign -certs " + path("cert.pem") + " -key " + path("key.pem") +
                      " -h sha256 -in " + path("unsigned.exe") + " -out " + path("signed.exe")));
    ASSERT_TRUE(osslsigncode_verifies(path("signed.exe")));
    bytes = read(path("signed.exe"));
  }

  static void TearDownTestSuite() { folder.reset(); }

  void SetUp() override {
    if (!skip_reason.empty()) GTEST_SKIP() << skip_reason;
    ASSERT_FALSE(bytes.empty());
  }

  static std::string path(const std::string& name) { return *folder / name; }

  static bool osslsigncode_verifies(const std::string& file) {
    return shell("osslsigncode verify -CAfile " + path("cert.pem") + " -in " + file);
  }

  static std::unique_ptr<temp_folder> folder;
  static std::string unsigned_bytes;  // empty when the package was given
  static std::string bytes;
  static std::string skip_reason;
};

std::unique_ptr<temp_folder> signed_package::folder;
std::string signed_package::unsigned_bytes;
std::string signed_package::bytes;
std::string signed_package::skip_reason;

TEST_F(signed_package, is_accepted_and_its_chain_ends_before_the_certificate_table) {
  const pe::certificate_table table = pe::security_directory(bytes);
  ASSERT_GT(table.size, 8u);
  ASSERT_EQ(std::uint64_t{table.offset} + table.size, bytes.size());

  memory_source source(bytes);
  ASSERT_TRUE(find_tail_marker(source));
  EXPECT_LE(source.position(), table.offset);
  EXPECT_LT(table.offset - source.position(), 8u);  // padding up to 8 bytes at most
  // Signing rewrote the stub image's headers, so the image no longer matches its stored digest:
  // the walk must still accept, as the stub never reads the image.
  if (!unsigned_bytes.empty()) {
    EXPECT_EQ(source.position(), unsigned_bytes.size());
  }

  const walked w = walk(bytes);
  EXPECT_TRUE(w.result.accepted);
  EXPECT_EQ(w.result.stop, walk_stop::stub);
  ASSERT_EQ(w.settings.size(), 2u);
  EXPECT_EQ(*w.settings.find("parameters"), "/qn");
  EXPECT_EQ(*w.settings.find("msilog"), "ON");

  // list and verify show the chain, and list names the table.
  write(path("listed.exe"), bytes);
  const outcome list = tailpack_run({"list", path("listed.exe")});
  ASSERT_EQ(list.status, tailpack::exit_ok) << list.err;
  for (const std::string& part :
       {"; a certificate table of " + std::to_string(table.size) + " bytes at offset " + std::to_string(table.offset) +
            " ends the file",
        std::string("#1 value \"msilog\" = \"ON\": setting takes effect\n"),
        std::string("#2 value \"parameters\" = \"/qn\": setting takes effect\n"), std::string("verdict: accepted\n")}) {
    EXPECT_TRUE(contains(list.out, part)) << part << "\nin:\n" << list.out;
  }
  // The chain is accepted; what verify refuses is the launch, as the package carries no installer.
  const outcome verify = tailpack_run({"verify", path("listed.exe")});
  EXPECT_EQ(verify.status, tailpack::exit_failure);
  EXPECT_TRUE(contains(verify.err, "no setting \"executable32\"")) << verify.err;
}

// A chain of its own, accepted wherever it is searched: what a forger plants.
std::string forged_chain() {
  return samples::package("", "forged.exe",
                          {package_entry::make_value("parameters", "/forged"), package_entry::make_value("evil", "1")});
}

TEST_F(signed_package, a_chain_planted_in_the_certificate_table_is_not_taken) {
  ASSERT_EQ(*walk(forged_chain()).settings.find("evil"), "1");
  const std::string forged = pe::grow_certificate_table(bytes, forged_chain());
  const pe::certificate_table table = pe::security_directory(forged);
  ASSERT_EQ(std::uint64_t{table.offset} + table.size, forged.size());
  write(path("forged.exe"), forged);
  if (!unsigned_bytes.empty()) {
    EXPECT_TRUE(osslsigncode_verifies(path("forged.exe"))) << "the signature does not cover the table";
  }
  const walked w = walk(forged);
  EXPECT_TRUE(w.result.accepted);
  EXPECT_EQ(w.result.stop, walk_stop::stub);
  EXPECT_EQ(w.settings.find("evil"), nullptr);
  ASSERT_NE(w.settings.find("parameters"), nullptr);
  EXPECT_EQ(*w.settings.find("parameters"), "/qn");
  const outcome list = tailpack_run({"list", path("forged.exe")});
  ASSERT_EQ(list.status, tailpack::exit_ok);
  EXPECT_FALSE(contains(list.out, "evil")) << list.out;
}

TEST_F(signed_package, bytes_after_a_table_that_no_longer_ends_the_file_are_searched) {
  // Appended after the table without growing it: the table does not end the file, so the headers
  // are not trusted and the whole file is searched. Such a file no longer verifies.
  const std::string appended = bytes + forged_chain();
  if (!unsigned_bytes.empty()) {
    write(path("appended.exe"), appended);
    EXPECT_FALSE(osslsigncode_verifies(path("appended.exe")));
  }
  const walked w = walk(appended);
  EXPECT_TRUE(w.result.accepted);
  ASSERT_NE(w.settings.find("evil"), nullptr);
}

}  // namespace
