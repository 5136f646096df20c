// Extraction of the running package into the working folder.
#pragma once
#include <string>

#include "package/settings_map.h"

// Opens `package_path`, walks its chain, inserts every value entry (and every file entry's
// non-empty key -> stored name) into `settings` if absent, and writes every file entry to
// `working_folder` + stored name, replacing an existing file. A file's data is streamed into a
// temporary file in the working folder and given its stored name only once its digest matches; a
// mismatch leaves no file of either name. Returns the chain's verdict; false as well when the
// package cannot be opened, has no chain, or an output file cannot be created or written (a full
// disk; a stored name that would leave the working folder counts as one that cannot be created,
// with ERROR_INVALID_NAME). Those failures show a message box unless `silent`, naming the output
// path and the system's text for the error. What was done before a failure stays. A text record
// too large for memory propagates std::bad_alloc.
bool extract_package(std::string package_path, std::string working_folder, bool silent, settings_map& settings);
