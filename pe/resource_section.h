// Writes a stub's resources: a whole resource section from a list of resources, and a copy of an
// image whose resource directory names a new last section holding it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pe/image.h"

// The bytes of a resource section that holds `resources` when loaded at `rva`: the three
// directory levels (at each, named entries first in case-blind name order, then numbered ones in
// ascending order), the data entries, the names, then each resource's data (8-byte aligned).
// Two resources with the same type, name and language: the later one is kept.
std::string resource_section(const std::vector<pe_resource>& resources, std::uint32_t rva);

// `image` (the whole file, `layout` read from it) with `resources` in a new last section ".rsrc"
// (initialised read-only data) that data directory 2 names; the old section stays, unnamed by
// the directory. SizeOfImage and the section count follow. The checksum is not updated (see
// pe_checksum). Throws pe_error when the headers have no room for another section header, or when
// bytes follow the last section (a certificate table or other appended data).
std::string with_resources(const std::string& image, const pe_layout& layout, const std::vector<pe_resource>& resources);

// `image` with its CheckSum field set to pe_checksum of it.
void update_checksum(std::string& image, const pe_layout& layout);

