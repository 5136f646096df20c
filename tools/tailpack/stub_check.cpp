#include "tools/tailpack/stub_check.h"

#include <cstdint>
#include <cstdio>

#include "package/little_endian.h"
#include "tools/tailpack/files.h"

namespace tailpack {

namespace {

constexpr std::size_t head_size = 64 * 1024;
constexpr std::size_t mz_header_size = 64;
constexpr std::size_t pe_pointer_offset = 0x3c;
constexpr std::size_t file_header_size = 20;
constexpr std::uint16_t executable_image = 0x0002;
constexpr std::uint16_t dll = 0x2000;
constexpr std::uint16_t pe32_magic = 0x10b;
constexpr std::uint16_t pe32_plus_magic = 0x20b;

const unsigned char* bytes_at(const std::string& head, std::size_t at) {
  return reinterpret_cast<const unsigned char*>(head.data()) + at;
}

}  // namespace

std::string pe_problem(const std::string& head) {
  if (head.size() < mz_header_size || head.compare(0, 2, "MZ") != 0)
    return "not a Windows executable (it does not start with an MZ header)";
  const std::uint32_t pe = le32(bytes_at(head, pe_pointer_offset));
  // The signature, the file header and the optional header's magic.
  if (pe > head.size() || head.size() - pe < 4 + file_header_size + 2 ||
      head.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
    return "not a Windows executable (no PE header where its MZ header points)";
  const std::uint32_t characteristics = le16(bytes_at(head, pe + 4 + 18));
  const std::uint32_t magic = le16(bytes_at(head, pe + 4 + file_header_size));
  if (magic != pe32_magic && magic != pe32_plus_magic) return "not a Windows executable (unknown optional header)";
  if ((characteristics & dll) != 0) return "a DLL, not an executable";
  if ((characteristics & executable_image) == 0) return "not marked as an executable image";
  return "";
}

std::string stub_file_problem(const std::string& path) { return pe_problem(read_head(path, head_size)); }

std::string installed_stub_path() {
  const std::string program = program_path();
  const std::size_t last = program.find_last_of(path_separators());
  const std::string folder = last == std::string::npos ? "." : program.substr(0, last);
  const std::string stub = join_path(folder, TAILRUN_STUB_FROM_BIN);
  std::FILE* probe = open_file(stub, "rb");
  if (!probe) throw failure("--stub is missing, and there is no installed stub at " + stub);
  std::fclose(probe);
  return stub;
}

}  // namespace tailpack
