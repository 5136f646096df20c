#include "driver/tests/pe_imports.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <stdexcept>

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

// A little-endian number of `size` bytes at `at`; throws std::out_of_range outside the image.
std::uint32_t number(const std::string& image, std::uint64_t at, int size) {
  if (at + size > image.size()) throw std::out_of_range("outside the image");
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(image[at + i]);
  return value;
}

}  // namespace

std::optional<std::vector<std::string>> imported_dlls(const std::string& image) try {
  const auto u16 = [&](std::uint64_t at) { return number(image, at, 2); };
  const auto u32 = [&](std::uint64_t at) { return number(image, at, 4); };
  const std::uint64_t pe = u32(0x3C), file_header = pe + 4, optional = file_header + 20;
  if (u16(0) != 0x5A4D || u32(pe) != 0x4550 || u16(optional) != 0x10B) return std::nullopt;  // MZ, PE, PE32
  const std::uint32_t sections = u16(file_header + 2);
  const std::uint64_t section_table = optional + u16(file_header + 16);

  // A virtual address as a file offset, through the section table.
  const auto to_offset = [&](std::uint32_t rva) -> std::uint64_t {
    for (std::uint32_t i = 0; i < sections; ++i) {
      const std::uint64_t entry = section_table + 40ull * i;
      const std::uint32_t size = u32(entry + 8), address = u32(entry + 12);
      if (rva >= address && rva - address < size) return u32(entry + 20) + std::uint64_t{rva - address};
    }
    throw std::out_of_range("in no section");
  };

  std::vector<std::string> names;
  // 20-byte descriptors (data directory 1) up to the one that is all zero; the name's address is
  // at offset 12.
  for (std::uint64_t entry = to_offset(u32(optional + 96 + 8));; entry += 20) {
    if (u32(entry) == 0 && u32(entry + 12) == 0 && u32(entry + 16) == 0) break;
    const std::uint64_t name = to_offset(u32(entry + 12));
    const auto end = image.find('\0', name);
    if (end == std::string::npos) return std::nullopt;
    names.push_back(image.substr(name, end - name));
  }
  return names;
} catch (const std::out_of_range&) {
  return std::nullopt;
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
