// Stored file names of file entries, joined to the working folder as they stand.
#pragma once
#include <cstdint>
#include <string>

namespace tailrun {

// False for a name that could leave the working folder or name a device: an absolute or rooted
// path, a drive or stream (any ':'), a UNC or device path, a component made only of dots and
// spaces (such as ".."), or a reserved device name (CON, NUL, COM0 to COM9, COM¹ to COM³, the
// same for LPT, ...) as any component.
// Sub-folders named with '\' or '/' are allowed; whether they exist is the file system's affair.
bool is_safe_stored_name(const std::string& name);

// Windows's error codes for the names it will not create.
constexpr std::uint32_t error_path_not_found = 3;         // ERROR_PATH_NOT_FOUND
constexpr std::uint32_t error_invalid_name = 123;         // ERROR_INVALID_NAME
constexpr std::uint32_t error_filename_too_long = 206;    // ERROR_FILENAME_EXCED_RANGE

// Whether a file entry of this stored name can be written into a fresh working folder.
struct stored_name_verdict {
  std::uint32_t error = 0;  // 0 when it can; else the system's code for the refusal
  const char* reason = "";  // why not, e.g. "has a folder part, which a fresh working folder does not have"
};

// Refused: an empty name, one that is_safe_stored_name refuses, one with a folder part (the working
// folder is fresh, so no sub-folder exists), one holding a character that Windows does not allow
// in file names (control characters, < > " | ? *), one that ends with a dot or a space.
stored_name_verdict check_stored_name(const std::string& name);

// The name under which Windows creates a file named `name`: trailing dots and spaces dropped.
std::string created_file_name(std::string name);

}  // namespace tailrun
