// Signed packages: code signing appends a certificate table after the chain. The table is not
// covered by the signature, so a chain planted in it must not be taken.
//
// The signed package comes from TAILPACK_SIGNED_PACKAGE when set (the Windows run, whose package is
// signed on the build machine), or is made here with openssl and osslsigncode; without either, the
// tests are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "package/record.h"
#include "tools/tailpack/tests/cli_run.h"

namespace {

using namespace testing_cli;
using namespace testing_files;

// Runs a command through the POSIX shell with a time limit; true when it exits with 0.
bool shell(const std::string& command) {
  return std::system(("timeout 120 " + command + " >/dev/null 2>&1").c_str()) == 0;
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
    // The test stub: a minimal PE32 with the stub's resources and the marker text in its code, as the
    // stub has. The entries are those that the Windows test script gives as well.
    unsigned_bytes = samples::package(testing_cli::tailrun_stub(), "Tailrun.exe",
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

  // tailpack list of `file_bytes`, written to `name`.
  static outcome list(const std::string& name, const std::string& file_bytes) {
    write(path(name), file_bytes);
    return tailpack_run({"list", path(name)});
  }

  inline static std::unique_ptr<temp_folder> folder;
  inline static std::string unsigned_bytes;  // empty when the package was given
  inline static std::string bytes;
  inline static std::string skip_reason;
};

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

  // list shows the chain and names the table.
  const outcome listed = list("listed.exe", bytes);
  ASSERT_EQ(listed.status, tailpack::exit_ok) << listed.err;
  expect_in_order(listed.out, {"; a certificate table of " + std::to_string(table.size) + " bytes at offset " +
                                   std::to_string(table.offset) + " ends the file",
                               "#1 value \"msilog\" = \"ON\": setting takes effect\n",
                               "#2 value \"parameters\" = \"/qn\": setting takes effect\n", "#3 stub ",
                               "verdict: accepted\n"});
  // The chain is accepted; what verify refuses is the launch, as the package carries no installer.
  expect_one_err_line(tailpack_run({"verify", path("listed.exe")}), "names the working folder");
}

// A chain of its own, accepted wherever it is searched: what a forger plants.
std::string forged_chain() {
  return samples::package("", "forged.exe",
                          {package_entry::make_value("parameters", "/forged"), package_entry::make_value("evil", "1")});
}

TEST_F(signed_package, a_chain_planted_in_the_certificate_table_is_not_taken) {
  const std::string forged = pe::grow_certificate_table(bytes, forged_chain());
  const pe::certificate_table table = pe::security_directory(forged);
  ASSERT_EQ(std::uint64_t{table.offset} + table.size, forged.size());
  const outcome planted = list("forged.exe", forged);
  if (!unsigned_bytes.empty()) {
    EXPECT_TRUE(osslsigncode_verifies(path("forged.exe"))) << "the signature does not cover the table";
  }
  ASSERT_EQ(planted.status, tailpack::exit_ok);
  EXPECT_FALSE(contains(planted.out, "evil")) << planted.out;
  expect_in_order(planted.out, {"\"parameters\" = \"/qn\": setting takes effect\n", "verdict: accepted\n"});

  // Appended after the table without growing it: such a file no longer verifies, and the stub
  // refuses it: only the signed region counts, and nothing may follow the table.
  const outcome appended = list("appended.exe", bytes + forged_chain());
  if (!unsigned_bytes.empty()) {
    EXPECT_FALSE(osslsigncode_verifies(path("appended.exe")));
  }
  EXPECT_FALSE(contains(appended.out, "evil")) << appended.out;
  expect_in_order(appended.out, {"verdict: not accepted: the chain does not end where the package's certificate table"});
}

}  // namespace
