// The --json output of list, verify and explain: one JSON document on stdout. Every document
// starts with "schema" (the command, e.g. "tailpack-list"), "schema_version" and "texts"; the
// README describes the fields. Fields are added within a schema version, never removed or changed.
#pragma once
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "package/chain.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/text_view.h"

namespace tailpack {

// Ordered, so that the fields come in the documented order.
using json = nlohmann::ordered_json;

constexpr int json_schema_version = 1;

// The head that every document starts with: "schema": "tailpack-<command>", "schema_version",
// "texts": "code page N" when texts are decoded from a code page, else "bytes".
json json_document(const std::string& command, const text_view& view);

// A package text as a JSON string: decoded from the view's code page; without one, or when the
// bytes are not a text in it, one character per byte (U+0000 to U+00FF), and `decoded` is false.
json json_text(const std::string& bytes, const text_view& view, bool* decoded = nullptr);

// The walk's outcome: "accepted", "stop" (walk_stop_name), "reason", "records_read", "failed_at".
json json_walk(const walk_result& result);

// "no_marker", "stub", "digest_mismatch", "move_failed", "read_failed", "sink_failed", "too_long", "into_stub",
// "outside_signature", "consumer".
const char* walk_stop_name(walk_stop stop);

// Writes `document` indented, and a line feed. Bytes of a path that are not UTF-8 become U+FFFD.
void print_json(const json& document, std::ostream& out);

}  // namespace tailpack
