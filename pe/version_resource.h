// The version resource (VS_VERSIONINFO) of a stub: read into a tree, changed, written back.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pe/image.h"  // pe_error

// One node of the resource: a key, a value (raw bytes; for text nodes UTF-16 with its zero) and
// the nodes below it.
struct version_node {
  std::u16string key;
  bool text = false;  // wType 1: the value is text, its length counted in characters
  std::string value;
  std::vector<version_node> children;
};

// Parses the resource's bytes. Throws pe_error when a node's length or key runs past its parent.
version_node parse_version(const std::string& bytes);

// The resource's bytes: each node 4-byte aligned, wLength without the trailing padding.
std::string write_version(const version_node& root);

// The string `key` of the first string table under "StringFileInfo", in UTF-8; none when absent.
std::optional<std::string> version_string(const version_node& root, const std::string& key);

// Sets (adding when absent) the string `key` of the first string table under "StringFileInfo" to
// `value` (UTF-8). Throws pe_error when the resource has no such table.
void set_version_string(version_node& root, const std::string& key, const std::string& value);

// Sets the file and product version numbers of the fixed part (VS_FIXEDFILEINFO). Throws pe_error
// when the root has no fixed part.
void set_version_numbers(version_node& root, const std::array<std::uint16_t, 4>& version);

