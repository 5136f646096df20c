// --json: one document on stdout per command, parsed here, with the documented fields.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tools/tailpack/tests/cli_run.h"
#include "tools/tailpack/tests/pe_image.h"
#include "package/tests/sample_packages.h"
#include "tools/tailpack/tests/test_files.h"

namespace {

using namespace testing_cli;
using namespace testing_files;
using json = nlohmann::json;

class json_output : public ::testing::Test {
 protected:
  void SetUp() override {
    write(package, samples::package(pe::minimal_image("stub"), "Tailrun.exe",
                                    {package_entry::make_file("installer32", "Setup.exe", "MZ installer"),
                                     package_entry::make_value("executable32", "%installer32%"),
                                     package_entry::make_value("parameters", "/qb"),
                                     package_entry::make_value("parameters", "/qn \xe9"),
                                     package_entry::make_value("msilog", "ON")}));
  }

  // Runs the command and parses its stdout: exactly one JSON document.
  json run_json(const std::vector<std::string>& args, int expected_status) {
    const outcome r = tailpack_run(args);
    EXPECT_EQ(r.status, expected_status) << r.err;
    EXPECT_EQ(r.err, "");
    json document = json::parse(r.out);  // throws, failing the test, on anything but one document
    EXPECT_EQ(document["schema_version"], 1);
    return document;
  }

  temp_folder dir;
  const std::string package = dir / "p.exe";
};

TEST_F(json_output, list_gives_the_entries_in_walk_order_with_their_effects) {
  const json doc = run_json({"list", "--json", package}, tailpack::exit_ok);
  EXPECT_EQ(doc["schema"], "tailpack-list");
  EXPECT_EQ(doc["texts"], "bytes");
  EXPECT_EQ(doc["size"], read(package).size());
  EXPECT_EQ(doc["chain"]["found"], true);
  EXPECT_EQ(doc["chain"]["end"], read(package).size());
  EXPECT_TRUE(doc["chain"]["certificate_table"].is_null());
  const json& entries = doc["entries"];
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0]["number"], 1);
  EXPECT_EQ(entries[0]["kind"], "value");
  EXPECT_EQ(entries[0]["key"], "msilog");
  EXPECT_EQ(entries[0]["kind_size"], 5);
  EXPECT_EQ(entries[0]["effect"]["setting"], "takes_effect");
  EXPECT_EQ(entries[1]["value"], "/qn \xc3\xa9");  // without a code page, one character per byte
  EXPECT_EQ(entries[2]["effect"]["setting"], "shadowed");
  EXPECT_EQ(entries[2]["effect"]["shadowed_by"], 2);
  EXPECT_EQ(entries[4]["kind"], "file");
  EXPECT_EQ(entries[4]["stored_name"], "Setup.exe");
  EXPECT_EQ(entries[4]["size"], 12);
  EXPECT_EQ(entries[4]["effect"]["file"], "stays");
  EXPECT_EQ(entries[5]["kind"], "stub");
  EXPECT_TRUE(entries[5]["effect"].is_null());
  // Offsets: each entry ends where the one met after it begins.
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) EXPECT_EQ(entries[i]["start"], entries[i + 1]["end"]);
  EXPECT_EQ(entries[0]["end"], doc["chain"]["tail_marker_offset"]);
  EXPECT_EQ(doc["stub"]["file_name"], "Tailrun.exe");
  EXPECT_EQ(doc["verdict"]["accepted"], true);
  EXPECT_EQ(doc["verdict"]["stop"], "stub");
  EXPECT_EQ(doc["verdict"]["reason"], "");

  const json decoded = run_json({"list", "--json", "--codepage", "1252", package}, tailpack::exit_ok);
  EXPECT_EQ(decoded["texts"], "code page 1252");
  EXPECT_EQ(decoded["entries"][1]["value"], "/qn \xc3\xa9");
  EXPECT_FALSE(decoded["entries"][1].contains("undecoded"));
  const json japanese = run_json({"list", "--json", "--codepage", "932", package}, tailpack::exit_ok);
  EXPECT_EQ(japanese["entries"][1]["undecoded"], json::array({"value"}));  // a lone lead byte
}

TEST_F(json_output, verify_gives_the_verdict_and_why_with_its_exit_status) {
  const json good = run_json({"verify", "--json", package}, tailpack::exit_ok);
  EXPECT_EQ(good["schema"], "tailpack-verify");
  EXPECT_EQ(good["passes"], true);
  EXPECT_EQ(good["problems"], json::array());
  EXPECT_EQ(good["launch_file"], "Setup.exe");
  EXPECT_EQ(good["walk"]["accepted"], true);

  std::string bytes = read(package);
  bytes[bytes.find("MZ installer")] ^= 1;
  write(package, bytes);
  const json bad = run_json({"verify", "--json", package}, tailpack::exit_failure);
  EXPECT_EQ(bad["passes"], false);
  ASSERT_EQ(bad["problems"].size(), 1u);
  EXPECT_TRUE(contains(bad["problems"][0].get<std::string>(), "not accepted: digest mismatch"));
  EXPECT_TRUE(bad["launch_file"].is_null());
  EXPECT_EQ(bad["walk"]["stop"], "digest_mismatch");
  EXPECT_GT(bad["walk"]["failed_at"].get<std::uint64_t>(), 0u);
}

TEST_F(json_output, explain_gives_the_launch_plan_or_the_refusal) {
  const json doc = run_json({"explain", "--json", "--temp-folder", "C:\\T", package, "/x"}, tailpack::exit_ok);
  EXPECT_EQ(doc["schema"], "tailpack-explain");
  EXPECT_EQ(doc["command_line"], "/x");
  EXPECT_EQ(doc["working_folder"], "C:\\T\\QVT1700000000\\");
  EXPECT_EQ(doc["launches"], true);
  EXPECT_EQ(doc["launch"]["file"], "C:\\T\\QVT1700000000\\Setup.exe");
  EXPECT_EQ(doc["launch"]["parameters"], "/x /qn \xc3\xa9/V\"/l*v \\\"C:\\T\\QVNEX_msi.log.txt\\\" \"");
  EXPECT_EQ(doc["launch"]["directory"], "C:\\T");
  EXPECT_EQ(doc["launch"]["msi_log"], "C:\\T\\QVNEX_msi.log.txt");
  EXPECT_TRUE(doc["refusal"].is_null());

  write(package, std::string(100, 'x'));
  const json refused = run_json({"explain", "--json", package}, tailpack::exit_failure);
  EXPECT_EQ(refused["launches"], false);
  EXPECT_TRUE(refused["launch"].is_null());
  EXPECT_EQ(refused["messages"], json::array({"Failed to initialize archive!", "Invalid Archive!"}));
  EXPECT_EQ(refused["walk"]["stop"], "no_marker");
}

}  // namespace
