#include "tools/tailpack/stub_check.h"

#include <cstdio>

#include "package/byte_source.h"
#include "package/pe_image.h"
#include "tools/tailpack/files.h"

namespace tailpack {

std::string pe_problem(const std::string& head) {
  memory_source image(head);
  return program_image_problem(image);
}

std::string stub_file_problem(const std::string& path) { return pe_problem(read_head(path, 64 * 1024)); }

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
