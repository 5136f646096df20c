// The package file on POSIX systems (tailpack's Linux build). Windows opens a package by its wide
// path: win32_file_source.h.
#pragma once
#include <memory>
#include <string>

#include "base/byte_source.h"

namespace tailrun {

// Opens the file at `path` for reading as a package. Returns null when it cannot be opened; `error`
// then holds the system's reason.
std::unique_ptr<byte_source> open_package_file(const std::string& path, std::string* error);

}  // namespace tailrun
