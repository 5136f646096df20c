// tailpack: writes, lists, verifies, extracts and explains packages. The work is in tailpack_lib;
// the command line is taken as UTF-8.
#include <iostream>
#include <string>
#include <vector>

#include "tools/tailpack/cli.h"

int main(int argc, char** argv) {
  return tailpack::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
