// The working folder's removal as the stub does it (win32_system::remove_folder: through handles,
// never following a link).
#include "driver/win32_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

#include "package/tests/temp_folder.h"

#include <winioctl.h>

using namespace tailrun;

namespace {

using test_files::exists;
using test_files::is_folder_link;
using test_files::wipe;

void make_folder(const std::string& path) {
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path << " error " << GetLastError();
}

void make_file(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  const tessel::unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
  ASSERT_TRUE(file) << path << " error " << GetLastError();
}

// Removes `path` as the run removes its working folder; true when it is gone.
bool remove_folder(std::string path) {
  win32_system(nullptr).remove_folder(path);
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return !exists(path);
}

class remove_folder_test : public test_files::temp_folder_test {
 protected:
  void SetUp() override {
    temp_folder_test::SetUp();
    if (!HasFatalFailure()) make_folder(work_ = root_ + "work");
  }

  // Files beside folders, three levels deep; a dot-named file is deleted like any other.
  void fill_work() {
    for (const char* folder : {"\\a", "\\a\\b", "\\a\\b\\c", "\\empty"}) make_folder(work_ + folder);
    for (const char* file : {"\\setup.exe", "\\.hidden", "\\a\\one.txt", "\\a\\b\\two.txt"}) make_file(work_ + file);
  }

  std::string work_;
};

TEST_F(remove_folder_test, removes_nested_content_for_each_path_form) {
  for (const char* suffix : {"", "\\", "/"}) {
    if (!exists(work_)) make_folder(work_);
    fill_work();
    EXPECT_TRUE(remove_folder(work_ + suffix)) << suffix;
    EXPECT_FALSE(exists(work_)) << suffix;
    EXPECT_TRUE(exists(root_));
  }
  std::string folder = work_;
  make_folder(work_);
  for (int depth = 0; depth < 30; ++depth) make_folder(folder += "\\d");
  make_file(folder + "\\bottom.txt");
  EXPECT_TRUE(remove_folder(work_));
  EXPECT_FALSE(exists(work_));
}

// A read-only file and dot-named folders stay, with the folders above them; the rest goes on.
TEST_F(remove_folder_test, what_cannot_go_stays_with_the_folders_above_it) {
  fill_work();
  make_file(work_ + "\\a\\b\\locked.txt", FILE_ATTRIBUTE_READONLY);
  make_folder(work_ + "\\.cache");
  make_file(work_ + "\\.cache\\entry.bin");
  make_folder(work_ + "\\a\\.git");

  EXPECT_FALSE(remove_folder(work_));

  for (const char* kept : {"\\a\\b\\locked.txt", "\\.cache\\entry.bin", "\\a\\.git"})
    EXPECT_TRUE(exists(work_ + kept)) << kept;
  for (const char* gone : {"\\a\\b\\two.txt", "\\a\\b\\c", "\\a\\one.txt", "\\setup.exe", "\\.hidden", "\\empty"})
    EXPECT_FALSE(exists(work_ + gone)) << gone;
}

TEST_F(remove_folder_test, a_file_given_as_the_folder_stays) {
  make_file(root_ + "beside.txt");
  EXPECT_FALSE(remove_folder(root_ + "beside.txt"));
}

// --- Folder links: `work` holds `link`, which points at `target` (outside `work`) ---

struct folder_link {
  std::string work, link, target;
};

// Makes `link` a junction to `target` (an absolute ASCII path). False where the system cannot
// (Wine); `link` is then gone again.
bool make_junction(const std::string& link, const std::string& target) {
  if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
  const tessel::unique_file handle(CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const std::string native = "\\??\\" + target;
  // Mount-point reparse data: tag, data length, reserved, then offset and length (bytes) of the
  // substitute name and of the print name (empty) in `names`, each name with its terminator.
  struct {
    DWORD tag;
    WORD data_length, reserved, substitute_offset, substitute_length, print_offset, print_length;
    WCHAR names[MAX_PATH * 2];
  } data = {};
  bool made = false;
  if (handle && native.size() < MAX_PATH) {
    std::copy(native.begin(), native.end(), data.names);
    data.tag = IO_REPARSE_TAG_MOUNT_POINT;
    data.substitute_length = static_cast<WORD>(native.size() * sizeof(WCHAR));
    data.print_offset = static_cast<WORD>(data.substitute_length + sizeof(WCHAR));
    data.data_length = static_cast<WORD>(4 * sizeof(WORD) + data.substitute_length + 2 * sizeof(WCHAR));
    DWORD returned = 0;
    made = DeviceIoControl(handle.get(), FSCTL_SET_REPARSE_POINT, &data, 8 + data.data_length, nullptr, 0, &returned,
                           nullptr) != 0;
  }
  if (!made) RemoveDirectoryA(link.c_str());
  return made;
}

// Under Wine no system call makes a folder reparse point, but a Unix symbolic link to a folder
// shows as one: the build prepares work\link -> target in the folder that
// TAILRUN_TEST_LINK_FIXTURE names.
std::optional<folder_link> prepared_link() {
  const char* fixture = std::getenv("TAILRUN_TEST_LINK_FIXTURE");
  if (fixture == nullptr || *fixture == '\0') return std::nullopt;
  std::string base = fixture;
  std::replace(base.begin(), base.end(), '/', '\\');
  folder_link link{base + "\\work", base + "\\work\\link", base + "\\target"};
  CreateDirectoryA(link.target.c_str(), nullptr);  // a faulty removal may have taken it
  return link;
}

class remove_folder_link_test : public remove_folder_test {
 protected:
  void SetUp() override {
    remove_folder_test::SetUp();
    if (HasFatalFailure()) return;
    const std::string target = root_ + "target";
    make_folder(target);
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(target.c_str(), sizeof full, full, nullptr);
    ASSERT_GT(length, 0u);
    if (make_junction(work_ + "\\link", std::string(full, length))) {
      link_ = folder_link{work_, work_ + "\\link", target};
    } else if ((link_ = prepared_link())) {
      ASSERT_TRUE(is_folder_link(link_->link)) << link_->link << " is not a folder link";
    } else {
      GTEST_SKIP() << "no folder link can be made here, and TAILRUN_TEST_LINK_FIXTURE names none";
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
  EXPECT_TRUE(!exists(link_->link) || is_folder_link(link_->link));
}

TEST_F(remove_folder_link_test, link_given_as_the_folder_is_not_followed) {
  // With a trailing separator the system resolves a link; the removal must not.
  for (const char* suffix : {"\\", "/", ""}) {
    if (!exists(link_->link)) break;  // removed as a link on the previous round
    remove_folder(link_->link + suffix);
    expect_target_untouched();
  }
}

}  // namespace
