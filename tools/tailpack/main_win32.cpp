// tailpack.exe: the wide entry point, so that no character of the Windows command line is lost
// before tailpack converts it; the arguments are handed over as UTF-8.
#include <iostream>
#include <string>
#include <vector>

#include "support/unicode.h"
#include "tools/tailpack/cli.h"

namespace {

using tessel::unicode::utf8_code_page;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(tessel::unicode::to_narrow(argv[i], utf8_code_page, false));
  return tailpack::run(args, std::cout, std::cerr);
}
