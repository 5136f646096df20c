// Process configuration: the product's family and product names from the program's own string
// table, loaded once at the start of the run and only read afterwards. Windows only.
#pragma once
#include <cstdint>
#include <string>

#include "support/windows.h"

namespace tailrun {

namespace config {

// Loads the family name (string 2001) and the product name (string 2002) from `module`'s string
// table, then checks that the module's file name and the common application-data folder can be
// obtained. Throws tessel::exception when a string is missing or empty (see load_resource_string),
// tessel::exception_w "Error. config::init. GetModuleFileName return 0." or
// "Error. config::init. Can not find CSIDL_COMMON_APPDATA." when a system path cannot be found.
// Later steps are not tried once one throws.
void init(HINSTANCE module);

// Copies of the names that init loaded; empty before init.
std::wstring family();
std::wstring product();

}  // namespace config

// String resource `id` of `module`, cut to 259 characters. A missing or empty string throws
// tessel::exception "resource string %d is not found".
std::wstring load_resource_string(std::int32_t id, HINSTANCE module);

}  // namespace tailrun
