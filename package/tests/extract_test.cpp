#include "package/extract.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "package/record.h"
#include "package/tests/temp_folder.h"
#include "package/writer.h"

namespace {

using test_files::exists;
using test_files::read;

class extract_package_test : public test_files::temp_folder_test {
 protected:
  void SetUp() override {
    temp_folder_test::SetUp();
    work_ = root_ + "work\\";
    ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr));
  }

  // Writes a package with the given entries (first given nearest the stub) and returns its path.
  std::string make_package(const std::vector<package_entry>& entries) {
    string_sink sink;
    write_package(sink, "MZ stub image", "Tailrun.exe", entries);
    test_files::write(root_ + "package.exe", sink.bytes());
    return root_ + "package.exe";
  }

  // The names in the working folder, sorted: no temporary file may be left among them.
  std::vector<std::string> work_names() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const tessel::unique_find find(FindFirstFileA((work_ + "*").c_str(), &found));
    while (find) {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") names.push_back(name);
      if (!FindNextFileA(find.get(), &found)) break;
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string work_;
  settings_map settings_;
};

// Files replace what is there; settings go in only where the key is absent (nearer the tail is met
// first); an empty-keyed file adds no setting.
TEST_F(extract_package_test, writes_files_and_inserts_settings_without_replacing_existing_keys) {
  settings_["source"] = "driver's source";
  test_files::write(work_ + "QVNEXSetup.exe", "a much longer old content that must go");
  const std::string package = make_package({
      package_entry::make_file("installer32", "QVNEXSetup.exe", "installer bytes"),
      package_entry::make_value("executable32", "%installer32%"),
      package_entry::make_value("source", "package's source"),
      package_entry::make_value("msilog", "first"),
      package_entry::make_value("msilog", "ON"),
      package_entry::make_value("", "empty key value"),
      package_entry::make_file("", "empty.bin", ""),  // met before the empty-keyed value
  });
  EXPECT_TRUE(extract_package(package, work_, true, settings_));
  EXPECT_EQ(work_names(), (std::vector<std::string>{"QVNEXSetup.exe", "empty.bin"}));
  EXPECT_EQ(read(work_ + "QVNEXSetup.exe"), "installer bytes");
  EXPECT_EQ(settings_.size(), 5u);
  EXPECT_EQ(settings_["installer32"], "QVNEXSetup.exe");
  EXPECT_EQ(settings_["executable32"], "%installer32%");
  EXPECT_EQ(settings_["source"], "driver's source");
  EXPECT_EQ(settings_["msilog"], "ON");
  EXPECT_EQ(settings_[""], "empty key value");
}

TEST_F(extract_package_test, uncreatable_or_escaping_names_fail_after_earlier_entries_took_effect) {
  for (const char* name : {"missing\\setup.exe", "..\\escaped.exe", "C:\\escaped.exe", "setup.exe:stream"}) {
    settings_map settings;
    const std::string package = make_package({
        package_entry::make_file("installer32", name, "data"),
        package_entry::make_value("parameters", "/qb"),
    });
    EXPECT_FALSE(extract_package(package, work_, true, settings)) << name;
    EXPECT_EQ(settings["parameters"], "/qb") << name;
    EXPECT_EQ(settings["installer32"], name) << "the key goes in before the file is attempted";
  }
  EXPECT_FALSE(exists(root_ + "escaped.exe"));
}

TEST_F(extract_package_test, digest_mismatch_in_the_installer_leaves_no_file_and_keeps_the_settings_nearer_the_tail) {
  // Data of several read blocks, changed in its last byte: the mismatch shows only at the end.
  const std::string data(3 * (1 << 20) + 5, 'i');
  const std::string package = make_package({package_entry::make_file("installer32", "setup.exe", data),
                                            package_entry::make_value("parameters", "/qb")});
  std::string bytes = read(package);
  bytes[bytes.find(data) + data.size() - 1] ^= 1;
  test_files::write(package, bytes);
  for (const bool existing : {false, true}) {
    if (existing) test_files::write(work_ + "setup.exe", "the earlier file");
    settings_map settings;
    EXPECT_FALSE(extract_package(package, work_, true, settings));
    EXPECT_EQ(settings["parameters"], "/qb");
    EXPECT_EQ(settings.find("installer32"), nullptr);
    // Neither a partial installer under its name nor a temporary file; an earlier file stays as it was.
    EXPECT_EQ(work_names(), existing ? std::vector<std::string>{"setup.exe"} : std::vector<std::string>{});
    if (existing) {
      EXPECT_EQ(read(work_ + "setup.exe"), "the earlier file");
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

TEST_F(extract_package_test, missing_chain_unopenable_and_locked_packages_fail) {
  test_files::write(root_ + "bare.exe", std::string(4096, 'x'));
  EXPECT_FALSE(extract_package(root_ + "bare.exe", work_, true, settings_));
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
