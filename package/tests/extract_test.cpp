#include "package/extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "package/record.h"
#include "package/writer.h"
#include "support/handle.h"
#include "support/windows.h"

namespace {

// A fresh folder under the temporary folder for each test, removed afterwards.
class extract_package_test : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::string(temp) + "tailrun-extract-" + std::to_string(GetCurrentProcessId()) + "-" + info->name() + "\\";
    work_ = root_ + "work\\";
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr));
  }

  void TearDown() override { remove_tree(root_); }

  static void remove_tree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    const tessel::unique_find find(FindFirstFileA((folder + "*").c_str(), &found));
    if (find) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          remove_tree(path + "\\");
        } else {
          SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileA(path.c_str());
        }
      } while (FindNextFileA(find.get(), &found));
    }
    RemoveDirectoryA(folder.c_str());
  }

  // Writes a package with the given entries (first given nearest the stub) and returns its path.
  std::string make_package(const std::vector<package_entry>& entries) {
    string_sink sink;
    write_package(sink, "MZ stub image", "Tailrun.exe", entries);
    return write_bytes("package.exe", sink.bytes());
  }

  std::string write_bytes(const std::string& name, const std::string& bytes) {
    const std::string path = root_ + name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  static std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

  // The names in the working folder, sorted: no temporary file may be left among them.
  std::vector<std::string> work_names() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const tessel::unique_find find(FindFirstFileA((work_ + "*").c_str(), &found));
    if (!find) return names;
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find.get(), &found));
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string root_, work_;
  settings_map settings_;
};

TEST_F(extract_package_test, writes_files_and_inserts_settings_without_replacing_existing_keys) {
  settings_["source"] = "driver's source";
  const std::string package = make_package({
      package_entry::make_file("installer32", "QVNEXSetup.exe", "installer bytes"),
      package_entry::make_value("executable32", "%installer32%"),
      package_entry::make_value("source", "package's source"),
      package_entry::make_value("msilog", "first"),
      package_entry::make_value("msilog", "ON"),  // nearer the tail: met first, kept
  });
  EXPECT_TRUE(extract_package(package, work_, true, settings_));
  EXPECT_EQ(work_names(), std::vector<std::string>{"QVNEXSetup.exe"});
  EXPECT_EQ(read_file(work_ + "QVNEXSetup.exe"), "installer bytes");
  EXPECT_EQ(settings_["installer32"], "QVNEXSetup.exe");
  EXPECT_EQ(settings_["executable32"], "%installer32%");
  EXPECT_EQ(settings_["source"], "driver's source");
  EXPECT_EQ(settings_["msilog"], "ON");
}

TEST_F(extract_package_test, replaces_existing_files_and_handles_empty_keys_and_empty_files) {
  std::ofstream(work_ + "setup.exe", std::ios::binary) << "a much longer old content that must go";
  const std::string package = make_package({
      package_entry::make_file("", "setup.exe", "new"),
      package_entry::make_file("empty", "empty.bin", ""),
      package_entry::make_value("", "empty key value"),
  });
  EXPECT_TRUE(extract_package(package, work_, true, settings_));
  EXPECT_EQ(read_file(work_ + "setup.exe"), "new");
  EXPECT_TRUE(exists(work_ + "empty.bin"));
  EXPECT_EQ(read_file(work_ + "empty.bin"), "");
  EXPECT_EQ(settings_["empty"], "empty.bin");
  EXPECT_EQ(settings_[""], "empty key value");
  EXPECT_EQ(settings_.size(), 2u);  // the empty-keyed file added no setting
}

TEST_F(extract_package_test, uncreatable_or_escaping_names_fail_after_earlier_entries_took_effect) {
  struct {
    const char* name;
  } cases[] = {{"missing\\setup.exe"}, {"..\\escaped.exe"}, {"C:\\escaped.exe"}, {"setup.exe:stream"}};
  for (const auto& c : cases) {
    settings_map settings;
    const std::string package = make_package({
        package_entry::make_file("installer32", c.name, "data"),
        package_entry::make_value("parameters", "/qb"),
    });
    EXPECT_FALSE(extract_package(package, work_, true, settings)) << c.name;
    EXPECT_EQ(settings["parameters"], "/qb") << c.name;
    EXPECT_EQ(settings["installer32"], c.name) << "the key goes in before the file is attempted";
  }
  EXPECT_FALSE(exists(root_ + "escaped.exe"));
}

TEST_F(extract_package_test, digest_mismatch_in_the_installer_leaves_no_file_and_keeps_the_settings_nearer_the_tail) {
  // Data of several read blocks, changed in its last byte: the mismatch shows only at the end.
  const std::string data(3 * (1 << 20) + 5, 'i');
  string_sink sink;
  write_package(sink, "MZ stub image", "Tailrun.exe",
                {package_entry::make_file("installer32", "setup.exe", data),
                 package_entry::make_value("parameters", "/qb")});
  std::string bytes = sink.bytes();
  bytes[bytes.find(data) + data.size() - 1] ^= 1;
  const std::string package = write_bytes("package.exe", bytes);
  for (const bool existing : {false, true}) {
    if (existing) std::ofstream(work_ + "setup.exe", std::ios::binary) << "the earlier file";
    settings_map settings;
    EXPECT_FALSE(extract_package(package, work_, true, settings));
    EXPECT_EQ(settings["parameters"], "/qb");
    EXPECT_EQ(settings.find("installer32"), nullptr);
    // Neither a partial installer under its name nor a temporary file; an earlier file stays as it was.
    EXPECT_EQ(work_names(), existing ? std::vector<std::string>{"setup.exe"} : std::vector<std::string>{});
    if (existing) {
      EXPECT_EQ(read_file(work_ + "setup.exe"), "the earlier file");
    }
  }
}

TEST_F(extract_package_test, a_file_that_cannot_take_its_name_leaves_no_temporary_file) {
  ASSERT_TRUE(CreateDirectoryA((work_ + "taken").c_str(), nullptr));
  const std::string package = make_package({package_entry::make_file("k", "taken", "data")});
  EXPECT_FALSE(extract_package(package, work_, true, settings_));
  EXPECT_EQ(work_names(), std::vector<std::string>{"taken"});
  EXPECT_EQ(settings_["k"], "taken");
}

TEST_F(extract_package_test, a_package_past_4_gib_is_walked_with_64_bit_positions) {
  // Sparse zeros up to past 4 GiB, then a chain: every record lies beyond any 32-bit offset.
  string_sink chain;
  for (const char* payload :
       {"MZ", "Tailrun.exe", "stub", "stub", "data", "big.bin", "", "file", "1", "a", "value"})
    write_record(chain, payload);
  write_record(chain, tail_marker_text());
  const std::string path = root_ + "huge.exe";
  tessel::unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file);
  LARGE_INTEGER offset{};
  offset.QuadPart = (std::int64_t{1} << 32) + 4096;
  DWORD written = 0;
  ASSERT_TRUE(SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN));
  ASSERT_TRUE(WriteFile(file.get(), chain.bytes().data(), static_cast<DWORD>(chain.bytes().size()), &written, nullptr));
  file.reset();
  EXPECT_TRUE(extract_package(path, work_, true, settings_));
  EXPECT_EQ(settings_["a"], "1");
  EXPECT_EQ(work_names(), std::vector<std::string>{"big.bin"});
  EXPECT_EQ(read_file(work_ + "big.bin"), "data");
  DeleteFileA(path.c_str());
}

TEST_F(extract_package_test, missing_chain_unopenable_and_locked_packages_fail) {
  EXPECT_FALSE(extract_package(write_bytes("bare.exe", std::string(4096, 'x')), work_, true, settings_));
  EXPECT_FALSE(extract_package(root_ + "does-not-exist.exe", work_, true, settings_));

  const std::string package = make_package({package_entry::make_value("k", "v")});
  tessel::unique_file locked(CreateFileA(package.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(locked);
  EXPECT_FALSE(extract_package(package, work_, true, settings_));
  locked.reset();
  EXPECT_TRUE(extract_package(package, work_, true, settings_));
  EXPECT_EQ(settings_["k"], "v");
}

}  // namespace
