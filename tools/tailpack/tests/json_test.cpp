// --json: one document on stdout per command, parsed here, with the documented fields.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "tools/tailpack/tests/cli_run.h"

namespace {

using namespace testing_cli;
using namespace testing_files;
using json = nlohmann::json;

// Each field of `want`, named by its JSON pointer, holds that value in `doc`.
void expect_fields(const json& doc, const std::map<std::string, json>& want) {
  for (const auto& [pointer, value] : want) {
    const json::json_pointer at(pointer);
    ASSERT_TRUE(doc.contains(at)) << pointer;
    EXPECT_EQ(doc.at(at), value) << pointer;
  }
}

class json_output : public package_folder {
 protected:
  void SetUp() override {
    package_folder::SetUp();
    write_package({package_entry::make_file("installer32", "Setup.exe", installer_image),
                   package_entry::make_value("executable32", "%installer32%"),
                   package_entry::make_value("parameters", "/qb"), package_entry::make_value("parameters", "/qn \xe9"),
                   package_entry::make_value("msilog", "ON")});
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
};

TEST_F(json_output, list_gives_the_entries_in_walk_order_with_their_effects) {
  const json doc = run_json({"list", "--json", package}, tailpack::exit_ok);
  const std::size_t size = read(package).size();
  expect_fields(doc, {
      {"/schema", "tailpack-list"}, {"/texts", "bytes"}, {"/size", size}, {"/chain/found", true}, {"/chain/end", size},
      {"/chain/certificate_table", nullptr}, {"/entries/0/number", 1}, {"/entries/0/kind", "value"},
      {"/entries/0/key", "msilog"}, {"/entries/0/kind_size", 5}, {"/entries/0/effect/setting", "takes_effect"},
      {"/entries/1/value", "/qn \xc3\xa9"},  // without a code page, one character per byte
      {"/entries/2/effect/setting", "shadowed"}, {"/entries/2/effect/shadowed_by", 2}, {"/entries/4/kind", "file"},
      {"/entries/4/stored_name", "Setup.exe"}, {"/entries/4/size", 1024}, {"/entries/4/effect/file", "stays"},
      {"/entries/5/kind", "stub"}, {"/entries/5/effect", nullptr}, {"/stub/file_name", "Tailrun.exe"},
      {"/verdict/accepted", true}, {"/verdict/stop", "stub"}, {"/verdict/reason", ""}});
  const json& entries = doc["entries"];
  ASSERT_EQ(entries.size(), 6u);
  // Offsets: each entry ends where the one met after it begins.
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) EXPECT_EQ(entries[i]["start"], entries[i + 1]["end"]);
  EXPECT_EQ(entries[0]["end"], doc["chain"]["tail_marker_offset"]);

  const json decoded = run_json({"list", "--json", "--codepage", "1252", package}, tailpack::exit_ok);
  expect_fields(decoded, {{"/texts", "code page 1252"}, {"/entries/1/value", "/qn \xc3\xa9"}});
  EXPECT_FALSE(decoded["entries"][1].contains("undecoded"));
  const json japanese = run_json({"list", "--json", "--codepage", "932", package}, tailpack::exit_ok);
  EXPECT_EQ(japanese["entries"][1]["undecoded"], json::array({"value"}));  // a lone lead byte
}

TEST_F(json_output, verify_gives_the_verdict_and_why_with_its_exit_status) {
  expect_fields(run_json({"verify", "--json", package}, tailpack::exit_ok),
                {{"/schema", "tailpack-verify"}, {"/passes", true}, {"/problems", json::array()},
                 {"/launch_file", "Setup.exe"}, {"/walk/accepted", true}});
  std::string bytes = read(package);
  bytes[bytes.find(installer_image)] ^= 1;
  write(package, bytes);
  const json bad = run_json({"verify", "--json", package}, tailpack::exit_failure);
  expect_fields(bad, {{"/passes", false}, {"/launch_file", nullptr}, {"/walk/stop", "digest_mismatch"}});
  ASSERT_EQ(bad["problems"].size(), 1u);
  EXPECT_TRUE(contains(bad["problems"][0].get<std::string>(), "not accepted: digest mismatch"));
  EXPECT_GT(bad["walk"]["failed_at"].get<std::uint64_t>(), 0u);
}

TEST_F(json_output, explain_gives_the_launch_plan_or_the_refusal) {
  expect_fields(run_json({"explain", "--json", "--temp-folder", "C:\\T", package, "/x"}, tailpack::exit_ok),
                {{"/schema", "tailpack-explain"}, {"/command_line", "/x"},
                 {"/working_folder", "C:\\T\\QVT1700000000\\"}, {"/launches", true},
                 {"/launch/file", "C:\\T\\QVT1700000000\\Setup.exe"},
                 {"/launch/parameters", "/x /qn \xc3\xa9/V\"/l*v \\\"C:\\T\\QVNEX_msi.log.txt\\\" \""},
                 {"/launch/directory", "C:\\T"}, {"/launch/msi_log", "C:\\T\\QVNEX_msi.log.txt"},
                 {"/refusal", nullptr}});
  write(package, std::string(100, 'x'));
  expect_fields(run_json({"explain", "--json", package}, tailpack::exit_ok),
                {{"/launches", false}, {"/launch", nullptr}, {"/walk/stop", "no_marker"},
                 {"/messages", json::array({"Failed to initialize archive!", "Invalid Archive!"})}});
}

// A command that fails still prints one document, with "error", and keeps its exit status.
TEST_F(json_output, every_outcome_gives_one_document) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* schema;
    std::string error;
  } cases[] = {
      {{"verify", "--json", dir / "missing.exe"}, tailpack::exit_failure, "tailpack-verify", "cannot open"},
      {{"list", "--json", "--codepage", "x", package}, tailpack::exit_usage, "tailpack-list", "--codepage needs"},
      {{"explain", "--json"}, tailpack::exit_usage, "tailpack-explain", "PACKAGE is missing"},
  };
  for (const auto& c : cases) {
    const outcome r = tailpack_run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["schema"], c.schema);
    EXPECT_TRUE(contains(doc["error"].get<std::string>(), c.error)) << r.out;
    EXPECT_EQ(lines(r.err), 1u) << r.err;
  }
  // The package, when the arguments name one.
  EXPECT_EQ(json::parse(tailpack_run(cases[0].args).out)["package"], dir / "missing.exe");
}

}  // namespace
