#include "driver/tests/pe_imports.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace {

// DLLs in the KnownDLLs list of every Windows version the stub supports (7 to 11, 32-bit
// processes): the loader maps these from the system folder whatever folder the program lies in.
// The list is a constant because the test runs under Wine, whose registry has no KnownDLLs key;
// it is the intersection of the Windows 7 and Windows 10/11 lists, plus ntdll.dll, which the loader
// maps before anything else. A DLL outside it would be looked up beside the package first, before
// WinMain can restrict the search.
const char* const known_dlls[] = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "difxapi.dll",  "gdi32.dll",    "imagehlp.dll",
    "imm32.dll",    "kernel32.dll", "msctf.dll",   "msvcrt.dll",   "normaliz.dll", "nsi.dll",
    "ntdll.dll",    "ole32.dll",    "oleaut32.dll", "psapi.dll",   "rpcrt4.dll",   "sechost.dll",
    "setupapi.dll", "shell32.dll",  "shlwapi.dll", "user32.dll",   "wldap32.dll",  "ws2_32.dll",
};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Little-endian reads that fail outside the image.
struct reader {
  const std::string& image;
  std::optional<std::uint32_t> u32(std::uint64_t at) const {
    if (at + 4 > image.size()) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(image[at + i]);
    return value;
  }
  std::optional<std::uint32_t> u16(std::uint64_t at) const {
    if (at + 2 > image.size()) return std::nullopt;
    return static_cast<unsigned char>(image[at]) | static_cast<unsigned char>(image[at + 1]) << 8;
  }
};

}  // namespace

std::optional<std::vector<std::string>> imported_dlls(const std::string& image) {
  const reader read{image};
  if (image.compare(0, 2, "MZ") != 0) return std::nullopt;
  const auto pe = read.u32(0x3C);
  if (!pe || image.size() < *pe + 4ull || image.compare(*pe, 4, std::string("PE\0\0", 4)) != 0) return std::nullopt;
  const std::uint64_t file_header = *pe + 4ull, optional = file_header + 20;
  const auto sections = read.u16(file_header + 2), optional_size = read.u16(file_header + 16);
  if (!sections || !optional_size || read.u16(optional) != std::optional<std::uint32_t>(0x10B)) return std::nullopt;
  const auto import_rva = read.u32(optional + 96 + 8);  // data directory 1: the imports
  if (!import_rva) return std::nullopt;

  // A virtual address as a file offset, through the section table.
  const std::uint64_t section_table = optional + *optional_size;
  const auto to_offset = [&](std::uint32_t rva) -> std::optional<std::uint64_t> {
    for (std::uint32_t i = 0; i < *sections; ++i) {
      const std::uint64_t entry = section_table + 40ull * i;
      const auto size = read.u32(entry + 8), address = read.u32(entry + 12), raw = read.u32(entry + 20);
      if (!size || !address || !raw) return std::nullopt;
      if (rva >= *address && rva - *address < *size) return *raw + (rva - *address);
    }
    return std::nullopt;
  };

  std::vector<std::string> names;
  const auto directory = to_offset(*import_rva);
  if (!directory) return std::nullopt;
  // 20-byte descriptors up to the one that is all zero; the name's address is at offset 12.
  for (std::uint64_t entry = *directory;; entry += 20) {
    const auto lookup = read.u32(entry), name_rva = read.u32(entry + 12), thunks = read.u32(entry + 16);
    if (!lookup || !name_rva || !thunks) return std::nullopt;
    if (*lookup == 0 && *name_rva == 0 && *thunks == 0) break;
    const auto name = to_offset(*name_rva);
    if (!name) return std::nullopt;
    const auto end = image.find('\0', *name);
    if (end == std::string::npos) return std::nullopt;
    names.push_back(image.substr(*name, end - *name));
  }
  return names;
}

std::vector<std::string> outside_known_dlls(const std::vector<std::string>& dlls) {
  std::vector<std::string> outside;
  for (const auto& dll : dlls) {
    const std::string name = lower(dll);
    if (std::none_of(std::begin(known_dlls), std::end(known_dlls), [&](const char* known) { return name == known; }))
      outside.push_back(dll);
  }
  return outside;
}
