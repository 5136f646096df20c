#include "driver/remove_folder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>

#include "support/handle.h"
#include "support/windows.h"

#include <winioctl.h>

namespace {

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void make_folder(const std::string& path) {
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path << " error " << GetLastError();
}

void make_file(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  const tessel::unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, attributes, nullptr));
  ASSERT_TRUE(file) << path << " error " << GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.get(), "data", 4, &written, nullptr));
}

// Test clean-up: removes `path` with everything in it, read-only and dot-named entries included;
// folder links are removed, never followed.
void wipe(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAA entry;
    const tessel::unique_find listing(FindFirstFileA((path + "\\*").c_str(), &entry));
    if (listing) {
      do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") wipe(path + "\\" + name);
      } while (FindNextFileA(listing.get(), &entry));
    }
  }
  RemoveDirectoryA(path.c_str());
}

// Every test works in its own new folder under the temporary folder.
class remove_folder_test : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof temp, temp);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof temp);
    static int serial = 0;
    root_ = std::string(temp, length) + "tailrun-remove-" + std::to_string(GetCurrentProcessId()) +
            "-" + std::to_string(++serial);
    make_folder(root_);
    work_ = root_ + "\\work";
    make_folder(work_);
  }
  void TearDown() override { wipe(root_); }

  // A nested tree under `work_`: files beside folders, three levels deep.
  void fill_work() {
    make_file(work_ + "\\setup.exe");
    make_file(work_ + "\\.hidden");  // a dot-named file is deleted like any other
    make_folder(work_ + "\\a");
    make_file(work_ + "\\a\\one.txt");
    make_folder(work_ + "\\a\\b");
    make_file(work_ + "\\a\\b\\two.txt");
    make_folder(work_ + "\\a\\b\\c");
    make_folder(work_ + "\\empty");
  }

  std::string root_;
  std::string work_;
};

TEST_F(remove_folder_test, removes_nested_content_for_each_path_form) {
  const char* const suffixes[] = {"", "\\", "/"};
  for (const char* suffix : suffixes) {
    SCOPED_TRACE(std::string("path ending in '") + suffix + "'");
    if (!exists(work_)) make_folder(work_);
    fill_work();
    EXPECT_TRUE(remove_folder(work_ + suffix));
    EXPECT_FALSE(exists(work_));
    EXPECT_TRUE(exists(root_));
  }
}

TEST_F(remove_folder_test, removes_a_deep_chain_of_folders) {
  std::string folder = work_;
  for (int depth = 0; depth < 40; ++depth) {
    folder += "\\d";
    make_folder(folder);
  }
  make_file(folder + "\\bottom.txt");
  EXPECT_TRUE(remove_folder(work_));
  EXPECT_FALSE(exists(work_));
}

TEST_F(remove_folder_test, read_only_file_stays_with_the_folders_above_it) {
  fill_work();
  make_file(work_ + "\\a\\b\\locked.txt", FILE_ATTRIBUTE_READONLY);

  EXPECT_FALSE(remove_folder(work_));

  EXPECT_TRUE(exists(work_ + "\\a\\b\\locked.txt"));
  EXPECT_EQ(GetFileAttributesA((work_ + "\\a\\b\\locked.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  // The rest went on: siblings and everything beside the locked file are gone.
  EXPECT_FALSE(exists(work_ + "\\a\\b\\two.txt"));
  EXPECT_FALSE(exists(work_ + "\\a\\b\\c"));
  EXPECT_FALSE(exists(work_ + "\\a\\one.txt"));
  EXPECT_FALSE(exists(work_ + "\\setup.exe"));
  EXPECT_FALSE(exists(work_ + "\\empty"));
}

TEST_F(remove_folder_test, dot_named_folder_is_never_entered) {
  fill_work();
  make_folder(work_ + "\\.cache");
  make_file(work_ + "\\.cache\\entry.bin");
  make_folder(work_ + "\\a\\.git");

  EXPECT_FALSE(remove_folder(work_));

  EXPECT_TRUE(exists(work_ + "\\.cache\\entry.bin"));
  EXPECT_TRUE(exists(work_ + "\\a\\.git"));
  EXPECT_FALSE(exists(work_ + "\\.hidden"));
  EXPECT_FALSE(exists(work_ + "\\setup.exe"));
  EXPECT_FALSE(exists(work_ + "\\a\\b"));
}

TEST_F(remove_folder_test, missing_folder_gives_false) {
  make_file(root_ + "\\beside.txt");
  EXPECT_FALSE(remove_folder(root_ + "\\missing"));
  EXPECT_FALSE(remove_folder(root_ + "\\missing\\"));
  EXPECT_FALSE(remove_folder(root_ + "\\beside.txt"));  // a file is not a folder
  EXPECT_TRUE(exists(root_ + "\\beside.txt"));
  EXPECT_TRUE(exists(work_));
}

// --- Folder links ---------------------------------------------------------------------------

// A folder link for the link tests: `work` holds `link`, which points at `target` (outside
// `work`).
struct folder_link {
  std::string work;
  std::string link;
  std::string target;
};

// The mount-point layout of a reparse data buffer: tag, data length, reserved, then the offsets
// and lengths (bytes) of the substitute and print names inside `names`.
struct mount_point_buffer {
  DWORD tag;
  WORD data_length;
  WORD reserved;
  WORD substitute_offset;
  WORD substitute_length;
  WORD print_offset;
  WORD print_length;
  WCHAR names[MAX_PATH * 2];
};
constexpr DWORD mount_point_header = 8;  // tag, data length, reserved

// Makes `link` a junction to `target` (an absolute path). False when the file system or the
// system does not support it; `link` is then gone again.
bool make_junction(const std::string& link, const std::string& target) {
  if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
  const tessel::unique_file handle(
      CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const std::string native = "\\??\\" + target;
  mount_point_buffer buffer = {};
  bool made = false;
  if (handle && native.size() < MAX_PATH) {
    for (std::size_t i = 0; i < native.size(); ++i) {
      buffer.names[i] = static_cast<unsigned char>(native[i]);  // test paths are ASCII
    }
    const WORD name_bytes = static_cast<WORD>(native.size() * sizeof(WCHAR));
    buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer.substitute_length = name_bytes;
    buffer.print_offset = static_cast<WORD>(name_bytes + sizeof(WCHAR));
    buffer.print_length = 0;
    // Four name fields, the substitute name and its terminator, the empty print name's terminator.
    buffer.data_length = static_cast<WORD>(4 * sizeof(WORD) + name_bytes + 2 * sizeof(WCHAR));
    DWORD returned = 0;
    made = DeviceIoControl(handle.get(), FSCTL_SET_REPARSE_POINT, &buffer,
                           mount_point_header + buffer.data_length, nullptr, 0, &returned,
                           nullptr) != 0;
  }
  if (!made) RemoveDirectoryA(link.c_str());
  return made;
}

bool is_folder_link(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & link) == link;
}

// Under Wine no system call makes a folder reparse point, but a Unix symbolic link to a folder
// shows as one. The build prepares such a link (work\link -> target) and names the folder that
// holds it in TAILRUN_TEST_LINK_FIXTURE. None when no such folder is named.
std::optional<folder_link> prepared_link() {
  const char* fixture = std::getenv("TAILRUN_TEST_LINK_FIXTURE");
  if (fixture == nullptr || *fixture == '\0') return std::nullopt;
  std::string base = fixture;
  for (char& c : base) {
    if (c == '/') c = '\\';
  }
  folder_link link{base + "\\work", base + "\\work\\link", base + "\\target"};
  // A faulty removal that followed the link may have removed the target folder as well.
  CreateDirectoryA(link.target.c_str(), nullptr);
  return link;
}

class remove_folder_link_test : public remove_folder_test {
 protected:
  void SetUp() override {
    remove_folder_test::SetUp();
    if (HasFatalFailure()) return;
    const std::string target = root_ + "\\target";
    make_folder(target);
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(target.c_str(), sizeof full, full, nullptr);
    ASSERT_GT(length, 0u);
    if (make_junction(work_ + "\\link", std::string(full, length))) {
      link_ = folder_link{work_, work_ + "\\link", target};
    } else if ((link_ = prepared_link())) {
      ASSERT_TRUE(is_folder_link(link_->link)) << link_->link << " is not a folder link";
    }
    if (!link_) {
      GTEST_SKIP() << "no folder reparse point can be made here: FSCTL_SET_REPARSE_POINT failed "
                      "and no prepared link was named in TAILRUN_TEST_LINK_FIXTURE";
    }
    wipe(link_->target + "\\inner");
    make_file(link_->target + "\\keep.txt");
    make_folder(link_->target + "\\inner");
    make_file(link_->target + "\\inner\\deep.txt");
  }
  void TearDown() override {
    if (link_) {
      wipe(link_->target + "\\keep.txt");
      wipe(link_->target + "\\inner");
    }
    remove_folder_test::TearDown();
  }

  void expect_target_untouched() {
    EXPECT_TRUE(exists(link_->target + "\\keep.txt"));
    EXPECT_TRUE(exists(link_->target + "\\inner\\deep.txt"));
  }

  std::optional<folder_link> link_;
};

TEST_F(remove_folder_link_test, link_inside_the_folder_is_removed_not_followed) {
  make_file(link_->work + "\\setup.exe");

  const bool removed = remove_folder(link_->work);

  expect_target_untouched();
  EXPECT_FALSE(exists(link_->work + "\\setup.exe"));
  // Where the system can remove the link (a junction), the folder goes too; a link that cannot
  // be removed (Wine's view of a Unix link) keeps the folder, and must still be a link.
  EXPECT_EQ(removed, !exists(link_->work));
  if (exists(link_->link)) {
    EXPECT_TRUE(is_folder_link(link_->link));
  }
}

TEST_F(remove_folder_link_test, link_given_as_the_folder_is_not_followed) {
  // With a trailing separator the system resolves a link; the removal must not.
  for (const char* suffix : {"\\", "/", ""}) {
    SCOPED_TRACE(std::string("path ending in '") + suffix + "'");
    if (!exists(link_->link)) break;  // removed as a link on the previous round
    remove_folder(link_->link + suffix);
    expect_target_untouched();
  }
}

}  // namespace
