// For the Windows tests that work on real files: a fresh folder per test under the temporary
// folder, removed afterwards, and the small file helpers they share.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/handle.h"
#include "support/windows.h"

namespace tailrun {

namespace test_files {

inline bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::string read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool is_folder_link(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & link) == link;
}

// Removes `path` with everything in it, read-only files included; folder links are removed,
// never followed.
inline void wipe(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA entry{};
  const tessel::unique_find listing(is_folder_link(path) ? INVALID_HANDLE_VALUE
                                                          : FindFirstFileA((path + "\\*").c_str(), &entry));
  while (listing) {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") wipe(path + "\\" + name);
    if (!FindNextFileA(listing.get(), &entry)) break;
  }
  RemoveDirectoryA(path.c_str());
}

// Each test works in its own new folder, `root_` (ending in a backslash).
class temp_folder_test : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof temp, temp);
    ASSERT_TRUE(length > 0 && length < sizeof temp);
    static int serial = 0;
    root_ = std::string(temp, length) + "tailrun-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++serial) + "\\";
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr)) << root_ << " error " << GetLastError();
  }
  void TearDown() override { wipe(root_.substr(0, root_.size() - 1)); }

  std::string root_;
};

}  // namespace test_files

}  // namespace tailrun
