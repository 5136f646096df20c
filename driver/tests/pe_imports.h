// Reading the DLL names of a 32-bit PE image's import directory, for the stub image tests.
#pragma once
#include <optional>
#include <string>
#include <vector>

// The names in the import directory of the PE32 image `image`, in directory order; nothing when
// the image is not a PE32 image or a header, table entry or name lies outside it.
std::optional<std::vector<std::string>> imported_dlls(const std::string& image);

// The names of `dlls` that are not system DLLs loaded from the system's KnownDLLs (compared
// without regard to case).
std::vector<std::string> outside_known_dlls(const std::vector<std::string>& dlls);
