// The built stub as a file: what it imports, how large it is, what it tells about itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/tests/pe_imports.h"
#include "package/tests/temp_folder.h"

using namespace tailrun;

namespace {

// The stub that the build made (its path comes from the build).
std::string stub_path() {
  const char* path = std::getenv("TAILRUN_TEST_STUB");
  return path != nullptr ? path : "";
}

class stub_image : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(stub_path().empty()) << "TAILRUN_TEST_STUB is not set";
    image_ = test_files::read(stub_path());
    ASSERT_FALSE(image_.empty()) << stub_path();
  }
  std::string image_;
};

// A DLL outside KnownDLLs would be loaded from the package's own folder (a download folder)
// before WinMain can restrict the search.
TEST_F(stub_image, imports_only_known_system_dlls) {
  const auto dlls = imported_dlls(image_);
  ASSERT_TRUE(dlls.has_value());
  // The reader really found the table: the stub cannot run without kernel32.
  EXPECT_TRUE(std::any_of(dlls->begin(), dlls->end(),
                          [](const std::string& name) { return lstrcmpiA(name.c_str(), "kernel32.dll") == 0; }));
  EXPECT_EQ(outside_known_dlls(*dlls), std::vector<std::string>{});
}

// The check itself: the same image with one imported name swapped for a DLL that is not known
// (same length, so the layout stays) is caught; damaged images are refused, not misread.
TEST_F(stub_image, check_catches_a_planted_import_and_refuses_damaged_images) {
  std::string planted = image_;
  const auto at = planted.find("SHELL32.dll");
  ASSERT_NE(at, std::string::npos);
  planted.replace(at, 11, "VERSION.dll");
  const auto dlls = imported_dlls(planted);
  ASSERT_TRUE(dlls.has_value());
  EXPECT_EQ(outside_known_dlls(*dlls), std::vector<std::string>{"VERSION.dll"});

  for (const std::size_t length : {std::size_t{0}, std::size_t{64}, std::size_t{0x200}, image_.size() / 2})
    EXPECT_FALSE(imported_dlls(image_.substr(0, length)).has_value()) << length << " bytes";
}

// A release stub: small (every part in, with room left), relocatable (ASLR) and with
// non-executable data (DEP).
TEST_F(stub_image, fits_the_size_budget_with_aslr_and_dep) {
  EXPECT_LE(image_.size(), 160u * 1024) << "the stub grew past its budget";
  const auto pe = *reinterpret_cast<const std::uint32_t*>(image_.data() + 0x3C);
  ASSERT_LT(pe + 24 + 72u, image_.size());
  const auto characteristics = *reinterpret_cast<const std::uint16_t*>(image_.data() + pe + 24 + 70);
  EXPECT_EQ(characteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
  EXPECT_EQ(characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
}

std::string version_value(const std::string& info, const char* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || length == 0) return "";
  return std::string(static_cast<const char*>(value));
}

TEST_F(stub_image, carries_the_version_resource) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(stub_path().c_str(), &ignored);
  ASSERT_GT(size, 0u) << GetLastError();
  std::string info(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(stub_path().c_str(), 0, size, &info[0]));
  EXPECT_EQ(version_value(info, "ProductName"), "Quorvane");
  EXPECT_EQ(version_value(info, "FileDescription"), "Quorvane installer");
  EXPECT_EQ(version_value(info, "FileVersion"), TAILRUN_TEST_VERSION);
  EXPECT_EQ(version_value(info, "ProductVersion"), TAILRUN_TEST_VERSION);

  void* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &fixed, &length));
  const auto* numbers = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  const std::string text = std::to_string(HIWORD(numbers->dwFileVersionMS)) + "." +
                           std::to_string(LOWORD(numbers->dwFileVersionMS)) + "." +
                           std::to_string(HIWORD(numbers->dwFileVersionLS));
  EXPECT_EQ(text, TAILRUN_TEST_VERSION);
}

}  // namespace
