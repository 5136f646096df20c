// tailpack list: its options, help and output (text, or JSON with --json).
#include "tools/tailpack/brand_output.h"
#include "tools/tailpack/command.h"
#include "tools/tailpack/json_output.h"
#include "tools/tailpack/report.h"

namespace tailpack {

namespace {

const char help[] =
    "Usage: tailpack list [--codepage CP] [--json] PACKAGE\n"
    "\n"
    "Walks the chain as the stub does and shows, in the order the stub meets them (from the tail):\n"
    "each entry's kind, key, value or stored name and size, and its effect. Settings are inserted\n"
    "if absent, so among equal keys the first met takes effect and the others are shadowed. A file\n"
    "entry's key follows the same rule, but its file is written in the order met, so among equal\n"
    "stored names the one met LAST (nearest the stub) stays on disk. Then the verdict: accepted or\n"
    "not, and why; then the brand in the stub's resources (product, family, version, company).\n"
    "Texts are quoted; bytes outside printable ASCII are shown as \\xNN.\n"
    "\n"
    "Options:\n"
    "  --codepage CP          show texts decoded from Windows code page CP (the one they were\n"
    "                         created with); a text that is not valid in CP is shown as bytes\n"
    "  --json                 one JSON document (schema \"tailpack-list\", see the README)\n"
    "  -h, --help             show this text\n"
    "\n"
    "Exit status: 0 when the package could be read, whatever the verdict (see 'verify').\n";

const option_set options = {{"--codepage"}, {"--json"}};

const char* kind_name(entry_kind kind) {
  switch (kind) {
    case entry_kind::value: return "value";
    case entry_kind::file: return "file";
    case entry_kind::stub: return "stub";
    case entry_kind::other: return "other";
    case entry_kind::tail_marker: return "tail_marker";
  }
  return "unknown";
}

// The entry's effect on the stub's settings and working folder.
json json_effect(const listed_entry& entry) {
  json effect;
  if (entry.kind != entry_kind::value && entry.kind != entry_kind::file) return nullptr;
  if (entry.kind == entry_kind::file && entry.key.empty()) {
    effect["setting"] = "none";
  } else if (entry.shadowed_by != 0) {
    effect["setting"] = "shadowed";
    effect["shadowed_by"] = entry.shadowed_by;
  } else {
    effect["setting"] = entry.reserved_key ? "set_by_stub" : "takes_effect";
  }
  if (entry.kind == entry_kind::file) {
    effect["file"] = entry.replaced_by == 0 ? "stays" : "replaced";
    if (entry.replaced_by != 0) effect["replaced_by"] = entry.replaced_by;
  }
  return effect;
}

json json_entry(std::size_t number, const listed_entry& entry, const text_view& view) {
  json item;
  json undecoded = json::array();
  const auto text = [&](const char* field, const std::string& bytes) {
    bool decoded = true;
    item[field] = json_text(bytes, view, &decoded);
    if (!decoded && view.code_page()) undecoded.push_back(field);
  };
  item["number"] = number;
  item["kind"] = kind_name(entry.kind);
  text("kind_text", entry.kind_text);  // of a long kind record, only its start
  item["kind_size"] = entry.kind_size;
  if (entry.kind != entry_kind::tail_marker) text("key", entry.key);
  if (entry.kind == entry_kind::value) text("value", entry.value);
  if (entry.kind == entry_kind::file) {
    text("stored_name", entry.value);
    item["size"] = entry.data_size;
  }
  item["start"] = entry.start;
  item["end"] = entry.end;
  item["effect"] = json_effect(entry);
  if (!undecoded.empty()) item["undecoded"] = undecoded;
  return item;
}

json json_listing(const std::string& path, const package_report& report, const text_view& view,
                  const std::optional<brand_info>& brand) {
  json document = json_document("list", view);
  document["package"] = path;
  document["size"] = report.size;
  json chain;
  chain["found"] = report.chain_found;
  chain["tail_marker_offset"] = report.chain_found ? json(report.chain_end - tail_marker_record_size) : json(nullptr);
  chain["end"] = report.chain_found ? json(report.chain_end) : json(nullptr);
  if (report.search_end < report.size) {
    chain["certificate_table"] = {{"offset", report.search_end}, {"size", report.size - report.search_end}};
  } else {
    chain["certificate_table"] = nullptr;
  }
  document["chain"] = chain;
  json entries = json::array();
  for (std::size_t i = 0; i < report.entries.size(); ++i) entries.push_back(json_entry(i + 1, report.entries[i], view));
  document["entries"] = entries;
  if (report.stub.name_read) {
    document["stub"] = {{"file_name", json_text(report.stub.name, view)},
                        {"image_size", report.stub.image_size_known ? json(report.stub.image_size) : json(nullptr)}};
  } else {
    document["stub"] = nullptr;
  }
  document["brand"] = json_brand(brand);
  document["verdict"] = json_walk(report.result);
  return document;
}

int run_list(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const std::vector<token> tokens = tokenize(args, options);
  const std::string path = positionals(tokens, {"PACKAGE"})[0];
  const text_view view(code_page_option(tokens));
  const std::unique_ptr<byte_source> file = open_package(path);
  const package_report report = read_package_report(*file);
  const std::optional<brand_info> brand = read_brand(*file);
  if (has_option(tokens, "--json")) {
    print_json(json_listing(path, report, view, brand), out);
  } else {
    print_listing(path, report, view, out);
    print_brand(brand, out);
  }
  return exit_ok;
}

}  // namespace

const command list_command = {"list", help, options, run_list};

}  // namespace tailpack
