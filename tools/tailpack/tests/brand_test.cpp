// create takes only an unsigned Tailrun stub, and brands it: read back by tailpack and by
// third-party readers (icoutils' wrestool, python3-pefile, osslsigncode), each skipped when absent.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "tools/tailpack/tests/cli_run.h"

namespace {

using namespace testing_cli;
using namespace testing_files;
using json = nlohmann::json;

// The output of a shell command run with a time limit; none when it fails.
std::optional<std::string> shell(const std::string& command) {
  FILE* pipe = popen(("timeout 120 " + command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return pclose(pipe) == 0 ? std::optional<std::string>(out) : std::nullopt;
}

// A signed copy of `image`: a fake certificate table appended (8-aligned) and named by directory 4.
std::string fake_signed(std::string image) {
  image.resize((image.size() + 7) / 8 * 8, '\0');
  const auto at = static_cast<std::uint32_t>(image.size());
  image += std::string(16, '\x01');
  pe::put32(image, pe::security_entry(image), at);
  pe::put32(image, pe::security_entry(image) + 4, 16);
  return image;
}

// A one-image .ico file: 16x16, 32 bits, `size` bytes of image data.
std::string icon_file(std::size_t size) {
  std::string ico(22, '\0');
  pe::put32(ico, 0, 0x00010000);
  ico[4] = 1;
  ico[6] = ico[7] = 16;
  pe::put32(ico, 10, 0x00200001);  // planes 1, 32 bits
  pe::put32(ico, 14, static_cast<std::uint32_t>(size));
  pe::put32(ico, 18, 22);
  return ico + std::string(size, '\x7f');
}

using brand = package_folder;

TEST_F(brand, create_takes_only_an_unsigned_tailrun_stub) {
  write(dir.path() / "signed.exe", fake_signed(stub));
  const struct {
    std::string stub;
    std::vector<std::string> options;
    int status;
    std::string message;
  } cases[] = {
      {dir / "setup.exe", {}, tailpack::exit_failure, "not a Tailrun stub: it lacks the stub's mark"},
      {dir / "signed.exe", {}, tailpack::exit_failure, "is signed"},
      {dir / "signed.exe", {"--strip-signature"}, tailpack::exit_ok, "warning: removed the signature"},
  };
  for (const auto& c : cases) {
    const outcome r = tailpack_run(samples::concat(samples::concat({"create", "--stub", c.stub, "--output", package},
                                                                   c.options), launchable()));
    expect_one_err_line(r, c.message, c.status);
  }
  // The stripped stub is the unsigned one, but for its checksum.
  const std::string written = read(package);
  EXPECT_EQ(pe::security_directory(written).offset, 0u);
  const json listed = json::parse(tailpack_run({"list", "--json", package}).out);
  ASSERT_EQ(listed["stub"]["image_size"], stub.size());
  const std::size_t checksum = pe::optional_offset + 64;
  EXPECT_EQ(written.substr(0, checksum), stub.substr(0, checksum));
  EXPECT_EQ(written.substr(checksum + 4, stub.size() - checksum - 4), stub.substr(checksum + 4));
}

TEST_F(brand, refuses_what_the_stub_cannot_read_whole) {
  const struct {
    std::vector<std::string> options;
    int status;
    std::string message;
  } cases[] = {
      {{"--product", std::string(260, 'p')}, tailpack::exit_failure, "--product has 260 characters"},
      {{"--family", ""}, tailpack::exit_failure, "--family is empty"},
      {{"--version", "1.2"}, tailpack::exit_usage, "--version needs 1.2.3 or 1.2.3.4"},
      {{"--version", "1.2.3.65536"}, tailpack::exit_usage, "--version needs"},
      {{"--icon", dir / "setup.exe"}, tailpack::exit_failure, "--icon: not an icon file"},
  };
  for (const auto& c : cases) expect_one_err_line(create(samples::concat(c.options, launchable())), c.message, c.status);
  EXPECT_EQ(create(samples::concat({"--product", std::string(259, 'p')}, launchable())).status, tailpack::exit_ok);
}

// One branded package, read back by tailpack list and by third-party readers of its stub image.
TEST_F(brand, the_brand_reads_back_everywhere) {
  write(dir.path() / "app.ico", icon_file(1128));
  const outcome made = create(samples::concat({"--product", "Acme Setup", "--family", "Acme", "--icon", dir / "app.ico",
                                               "--version", "2.3.4.5", "--company", "Acme Ltd", "--copyright", "(c) Acme"},
                                              launchable()));
  ASSERT_EQ(made.status, tailpack::exit_ok) << made.err;
  const json listed = json::parse(tailpack_run({"list", "--json", package}).out);
  EXPECT_EQ(listed["brand"], json::parse(R"({"product": "Acme Setup", "family": "Acme", "version": "2.3.4.5",
      "company": "Acme Ltd", "description": "Acme Setup installer", "copyright": "(c) Acme", "icons": 1})"));
  EXPECT_EQ(tailpack_run({"verify", package}).status, tailpack::exit_ok);
  write(dir.path() / "image.exe", read(package).substr(0, listed["stub"]["image_size"].get<std::size_t>()));

  if (const auto listing = shell("wrestool -l " + (dir / "image.exe"))) {
    EXPECT_TRUE(contains(*listing, "--type=14 --name=1 --language=0 [type=group_icon")) << *listing;
    EXPECT_TRUE(contains(*listing, "--type='TAILRUNSTUB' --name=1")) << *listing;
  }
  const std::string script =
      "import pefile, sys\n"
      "pe = pefile.PE(sys.argv[1])\n"
      "print(pe.verify_checksum())\n"
      "for e in pe.DIRECTORY_ENTRY_RESOURCE.entries:\n"
      "  if e.struct.Id == 6:\n"
      "    for n in e.directory.entries: print(n.directory.strings[2001], n.directory.strings[2002])\n"
      "f = pe.VS_FIXEDFILEINFO[0]\n"
      "print(f.FileVersionMS >> 16, f.FileVersionMS & 0xffff, f.FileVersionLS >> 16, f.FileVersionLS & 0xffff)\n"
      "s = pe.FileInfo[0][0].StringTable[0].entries\n"
      "print(s[b'ProductName'].decode(), '|', s[b'CompanyName'].decode(), '|', s[b'LegalCopyright'].decode())\n";
  write(dir.path() / "read.py", script);
  if (shell("/usr/bin/python3 -c 'import pefile'")) {
    EXPECT_EQ(shell("/usr/bin/python3 " + (dir / "read.py") + " " + (dir / "image.exe")),
              "True\nAcme Acme Setup\n2 3 4 5\nAcme Setup | Acme Ltd | (c) Acme\n");
  }
  // Signed after create, the package verifies, and tailpack still accepts it.
  if (shell("osslsigncode --version") && shell("openssl version")) {
    const std::string key = dir / "key.pem", cert = dir / "cert.pem", signed_package = dir / "signed.exe";
    ASSERT_TRUE(shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test -addext "
                      "extendedKeyUsage=codeSigning -keyout " + key + " -out " + cert));
    ASSERT_TRUE(shell("osslsigncode sign -certs " + cert + " -key " + key + " -h sha256 -in " + package + " -out " +
                      signed_package));
    EXPECT_TRUE(shell("osslsigncode verify -CAfile " + cert + " -in " + signed_package));
    const outcome verified = tailpack_run({"verify", signed_package});
    EXPECT_EQ(verified.status, tailpack::exit_ok);
    EXPECT_TRUE(contains(verified.out, signed_package + ": signed: the chain ends at ")) << verified.out;
    const json signature = json::parse(tailpack_run({"verify", "--json", signed_package}).out)["signature"];
    EXPECT_TRUE(signature["signed"].get<bool>());
    EXPECT_EQ(signature["table_offset"].get<std::uint64_t>() % 8, 0u);
    EXPECT_LT(signature["padding"].get<std::uint64_t>(), 8u);
  }
}

}  // namespace
