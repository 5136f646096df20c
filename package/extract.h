// Extraction of the running package into the working folder.
#pragma once
#include <string>

#include "package/settings_map.h"

// Opens `package_path`, walks its chain, inserts every value entry (and every file entry's
// non-empty key -> stored name) into `settings` if absent, and writes every file entry to
// `working_folder` + stored name, replacing an existing file. Returns the chain's verdict; false
// as well when the package cannot be opened, has no chain, or an output file cannot be created
// (a stored name that would leave the working folder counts as one that cannot be created, with
// ERROR_INVALID_NAME). Those three failures show a message box unless `silent`. What was done
// before a failure stays. A payload too large for memory propagates std::bad_alloc.
bool extract_package(std::string package_path, std::string working_folder, bool silent, settings_map& settings);
