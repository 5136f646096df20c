#include "tools/tailpack/json_output.h"

#include "tools/tailpack/report.h"

namespace tailpack {

json json_document(const std::string& command, const text_view& view) {
  json document;
  document["schema"] = "tailpack-" + command;
  document["schema_version"] = json_schema_version;
  document["texts"] = view.code_page() ? "code page " + std::to_string(*view.code_page()) : "bytes";
  return document;
}

json json_text(const std::string& bytes, const text_view& view, bool* decoded) {
  if (const std::optional<std::string> text = view.decode(bytes)) {
    if (decoded) *decoded = true;
    return *text;
  }
  if (decoded) *decoded = false;
  std::string utf8;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xc0 | byte >> 6);
      utf8 += static_cast<char>(0x80 | (byte & 0x3f));
    }
  }
  return utf8;
}

const char* walk_stop_name(walk_stop stop) {
  switch (stop) {
    case walk_stop::no_marker: return "no_marker";
    case walk_stop::stub: return "stub";
    case walk_stop::digest_mismatch: return "digest_mismatch";
    case walk_stop::move_failed: return "move_failed";
    case walk_stop::read_failed: return "read_failed";
    case walk_stop::into_stub: return "into_stub";
    case walk_stop::sink_failed: return "sink_failed";
    case walk_stop::too_long: return "too_long";
    case walk_stop::outside_signature: return "outside_signature";
    case walk_stop::consumer: return "consumer";
  }
  return "unknown";
}

json json_walk(const walk_result& result) {
  json walk;
  walk["accepted"] = result.accepted;
  walk["stop"] = walk_stop_name(result.stop);
  walk["reason"] = describe_verdict(result);
  walk["records_read"] = result.records_read;
  walk["failed_at"] = result.failed_at;
  return walk;
}

void print_json(const json& document, std::ostream& out) {
  out << document.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

}  // namespace tailpack
