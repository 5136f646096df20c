#include "diagnostics/log_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "diagnostics/log.h"
#include "support/tests/test_helpers.h"

namespace {

constexpr char bom[] = "\xEF\xBB\xBF";

std::string read_all(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing>";
}

// Replaces the file with `content`, then sets its size to `size` (sparse where the file system
// allows) when that is larger.
void write_all(const std::string& path, const std::string& content, std::uint64_t size = 0) {
  const tessel::unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file) << path;
  DWORD written = 0;
  if (!content.empty()) WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  ASSERT_EQ(written, content.size());
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  if (size <= content.size()) return;
  ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get())) << GetLastError();
}

// The start of the text of the exception that constructing a log for `base` throws.
std::string construction_failure(const std::string& base) {
  return tessel::test::thrown([&] { tessel::log::file log(base); }).substr(0, 23);
}

// Every test works in its own new folder under the temporary folder; `base` is the log's base name.
class log_file_test : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof temp, temp);
    ASSERT_GT(length, 0u);
    folder = std::string(temp, length) + "tailrun-log-" + std::to_string(GetCurrentProcessId()) + "-" +
             testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    base = folder + "\\Tailrun";
    path = base + ".log.txt";
  }
  void TearDown() override {
    tessel::log::shutdown();
    WIN32_FIND_DATAA entry{};
    const tessel::unique_find listing(FindFirstFileA((folder + "\\*").c_str(), &entry));
    while (listing) {
      const std::string name = folder + "\\" + entry.cFileName;
      if (!DeleteFileA(name.c_str())) RemoveDirectoryA(name.c_str());
      if (!FindNextFileA(listing.get(), &entry)) break;
    }
    RemoveDirectoryA(folder.c_str());
  }

  std::string folder, base, path;
};

TEST_F(log_file_test, NewOrEmptyLogGetsTheByteOrderMarkAnExistingOneIsAppendedTo) {
  const struct {
    bool exists;
    std::string before, opened;  // the content before, and once the log is open
  } rows[] = {
      {false, "", bom},
      {true, "", bom},
      {true, "old line\r\n", "old line\r\n"},
      {true, std::string(bom) + "old\r\n", std::string(bom) + "old\r\n"},  // no second mark
  };
  for (const auto& r : rows) {
    DeleteFileA(path.c_str());
    if (r.exists) write_all(path, r.before);
    {
      tessel::log::file log(base);
      EXPECT_EQ(read_all(path), r.opened) << r.exists << r.before;
      for (const char* text : {"abc", "", "two\nlines\r\nkept"}) log.write(1, "H ", text);
    }
    EXPECT_EQ(read_all(path), r.opened + "H abc\r\nH \r\nH two\nlines\r\nkept\r\n") << r.exists << r.before;
  }
}

std::uint64_t size_of(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

TEST_F(log_file_test, OnlyASizeReadAs0xFFFFFFFFEmptiesTheLog) {
  // The size query gives the low 32 bits; exactly 0xFFFFFFFF is also its failure value.
  struct row {
    std::uint64_t size;
    bool emptied;
  } rows[] = {
      // Beyond 4 GiB the log keeps growing.
      {0xFFFFFFFEull, false}, {0xFFFFFFFFull, true}, {0x100000010ull, false},
  };
  for (const row& r : rows) {
    write_all(path, "", r.size);
    {
      tessel::log::file log(base);
      log.write(1, "H ", "x");
    }
    if (r.emptied) {
      EXPECT_EQ(read_all(path), std::string(bom) + "H x\r\n");
    } else {
      EXPECT_EQ(size_of(path), r.size + 5) << r.size;
    }
    DeleteFileA(path.c_str());
  }
}

TEST_F(log_file_test, MutexNameTurnsBackslashesIntoUnderscoresAndStaysValidForAnyFolder) {
  const std::map<std::wstring, std::string> rows = {
      {L"C:\\Temp\\Tailrun", "log-C:_Temp_Tailrun"},
      {L"\\\\server\\share\\x", "log-__server_share_x"},
      {L"C:\\\u041f\\T", "log-C:_?_T"},  // a character the ANSI code page cannot hold
  };
  for (const auto& [base_name, expected] : rows) EXPECT_EQ(tessel::log::file::mutex_name(base_name), expected);
  // A folder too long for a mutex name: a short name of its own, different for another folder.
  const std::wstring long_folder = L"C:\\" + std::wstring(250, L'x');
  const std::string name = tessel::log::file::mutex_name(long_folder);
  EXPECT_EQ(name.size(), 20u) << name;
  EXPECT_NE(name, tessel::log::file::mutex_name(long_folder + L"y"));
}

TEST_F(log_file_test, PathThatCannotBeOpenedOrIsASecondHardLinkThrows) {
  EXPECT_EQ(construction_failure(folder + "\\missing\\Tailrun"), "log[CreateFile failed: ");
  const std::string target = folder + "\\elsewhere.txt";
  write_all(target, "precious");
  ASSERT_TRUE(CreateHardLinkA(path.c_str(), target.c_str(), nullptr)) << GetLastError();
  EXPECT_EQ(construction_failure(base), "log[CreateFile failed: ");
  EXPECT_EQ(read_all(target), "precious");
  ASSERT_TRUE(DeleteFileA(path.c_str()));
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));  // a folder of the log's name
  EXPECT_EQ(construction_failure(base), "log[CreateFile failed: ");
}

TEST_F(log_file_test, FolderLinkAtTheLogPathIsNotFollowed) {
  // Prepared by the build: link-fixture\Tailrun.log.txt is a link to the folder link-fixture\target
  // (a Unix symbolic link, which shows as a folder reparse point).
  const char* fixture = std::getenv("TAILRUN_TEST_LOG_LINK_FIXTURE");
  if (fixture == nullptr) GTEST_SKIP() << "no link fixture";
  const std::string link = std::string(fixture) + "\\Tailrun.log.txt";
  const DWORD attributes = GetFileAttributesA(link.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  ASSERT_NE(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(construction_failure(std::string(fixture) + "\\Tailrun"), "log[CreateFile failed: ");
  EXPECT_EQ(GetFileAttributesA((std::string(fixture) + "\\target\\Tailrun.log.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(log_file_test, TwoProcessesInterleaveWholeLines) {
  constexpr int count = 300;
  const std::string start_name = "tailrun-log-start-" + std::to_string(GetCurrentProcessId());
  const tessel::unique_handle start(CreateEventA(nullptr, TRUE, FALSE, start_name.c_str()));
  ASSERT_TRUE(start);
  { tessel::log::file created(base); }  // the byte order mark before either writer starts
  // log_writer, beside this executable, in two more processes.
  char own[MAX_PATH] = {};
  const std::string program(own, GetModuleFileNameA(nullptr, own, MAX_PATH));
  tessel::unique_handle writers[2];
  for (const char tag : {'A', 'B'}) {
    std::string command = "\"" + program.substr(0, program.find_last_of('\\') + 1) + "log_writer.exe\" \"" + base +
                          "\" " + std::to_string(count) + " " + tag + " " + start_name;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    CloseHandle(info.hThread);
    writers[tag - 'A'].reset(info.hProcess);
  }
  SetEvent(start.get());
  for (const auto& writer : writers) {
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(writer.get(), 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(writer.get(), &code) && code == 0) << code;
  }

  const std::string content = read_all(path);
  ASSERT_EQ(content.compare(0, 3, bom), 0);
  // Each line: the header, the tag, a six-digit number (in order per tag), the tag repeated.
  std::map<char, int> next = {{'A', 0}, {'B', 0}};
  std::size_t position = 3, length = 0;
  while (position < content.size()) {
    const std::size_t end = content.find("\r\n", position);
    ASSERT_NE(end, std::string::npos);
    const std::string line = content.substr(position, end - position);
    if (length == 0) length = line.size();
    const char tag = line.size() > 32 ? line[23] : '?';
    ASSERT_TRUE(line.size() == length && next.count(tag)) << line;
    EXPECT_EQ(std::atoi(line.substr(25, 6).c_str()), next[tag]++) << line;
    EXPECT_EQ(line.find_first_not_of(tag, 32), std::string::npos) << line;
    position = end + 2;
  }
  EXPECT_EQ(next['A'] + next['B'], 2 * count);
}

TEST_F(log_file_test, FrontEndWritesThroughTheFile) {
  tessel::log::attach(new tessel::log::file(base));
  tessel::log::write_line("caf\xE9");
  tessel::log::shutdown();  // closes the file
  const std::string content = read_all(path);
  ASSERT_EQ(content.size(), 3u + 23 + 5 + 2) << content;
  EXPECT_EQ(content.substr(3 + 19), "    caf\xC3\xA9\r\n");  // the header's four spaces, then UTF-8
  EXPECT_TRUE(DeleteFileA(path.c_str())) << "the log is still open";
}

}  // namespace
