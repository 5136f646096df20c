// Stored file names of file entries, joined to the working folder as they stand.
#pragma once
#include <string>

// False for a name that could leave the working folder or name a device: an absolute or rooted
// path, a drive or stream (any ':'), a UNC or device path, a component made only of dots and
// spaces (such as ".."), or a reserved device name (CON, NUL, COM1, ...) as any component.
// Sub-folders named with '\' or '/' are allowed; whether they exist is the file system's affair.
bool is_safe_stored_name(const std::string& name);
