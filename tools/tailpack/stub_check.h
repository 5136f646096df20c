// The stub image that create puts in front of the chain: where the installed one lies, and
// whether a file is a Windows executable at all.
#pragma once
#include <string>

namespace tailpack {

// Why `head`, the first bytes of a file (up to 64 KiB, or the whole file when shorter), is not a
// Windows executable image; empty when it is one: "MZ", a PE header that the MZ header points to,
// a PE32 or PE32+ optional header and the executable flag, without the DLL flag.
std::string pe_problem(const std::string& head);

// pe_problem of the file at `path`. Throws failure when the file cannot be read.
std::string stub_file_problem(const std::string& path);

// The stub installed beside tailpack: TAILRUN_STUB_FROM_BIN from the folder of tailpack's own
// executable. Throws failure when there is none.
std::string installed_stub_path();

}  // namespace tailpack
