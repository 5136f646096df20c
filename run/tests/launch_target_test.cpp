#include "run/launch_target.h"

#include <gtest/gtest.h>

using namespace tailrun;

namespace {

TEST(resolve_path, follows_windows_full_path_rules) {
  const std::string work = "C:\\T\\QVT1\\";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"setup.exe", "C:\\T\\QVT1\\setup.exe"},
      {".\\setup.exe", "C:\\T\\QVT1\\setup.exe"},
      {"./a//b\\\\setup.exe", "C:\\T\\QVT1\\a\\b\\setup.exe"},
      {"setup.exe. . ", "C:\\T\\QVT1\\setup.exe"},
      {"a.\\setup.exe", "C:\\T\\QVT1\\a\\setup.exe"},
      {"...\\setup.exe", "C:\\T\\QVT1\\...\\setup.exe"},
      {"..\\x.exe", "C:\\T\\x.exe"},
      {"..\\..\\..\\..\\x.exe", "C:\\x.exe"},
      {"", "C:\\T\\QVT1"},
      {"..\\..", "C:\\"},
  };
  for (const auto& [relative, resolved] : cases) EXPECT_EQ(resolve_path(work, relative), resolved) << relative;
  EXPECT_EQ(resolve_path("\\\\server\\share\\QVT1\\", "..\\..\\x"), "\\\\server\\share\\x");
}

}  // namespace
