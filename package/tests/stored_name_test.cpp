#include "package/stored_name.h"

#include <gtest/gtest.h>

using namespace tailrun;

namespace {

TEST(stored_name, plain_names_and_sub_folders_are_safe) {
  for (const char* name : {"QVNEXSetup.exe", "", "sub\\setup.exe", "sub/setup.exe", "a.b.c", "..hidden", "x..",
                           "console.txt", "COM10", "COM\xC2\xB9\xC2\xB9", "nul-device.txt"})
    EXPECT_TRUE(is_safe_stored_name(name)) << name;
}

TEST(stored_name, names_that_leave_the_folder_or_name_devices_are_refused) {
  for (const char* name : {"..", "..\\x.exe", "a\\..\\..\\x.exe", "a/../x", "\\Windows\\x.exe", "/etc/passwd",
                           "C:\\x.exe", "C:x.exe", "\\\\server\\share\\x", "\\\\.\\PhysicalDrive0",
                           "\\\\?\\C:\\x", "setup.exe:stream", ".", "...", ". .", "a\\.. \\b", "NUL", "con.txt",
                           "sub\\aux", "COM1", "lpt9.dat", "CONOUT$", "COM0", "LPT0.log", "COM\xB9",
                           "com\xC2\xB2.txt", "LPT\xC2\xB3", "lpt\xB2.exe"})
    EXPECT_FALSE(is_safe_stored_name(name)) << name;
}

TEST(stored_name, a_name_ending_in_a_dot_or_a_space_is_refused) {
  for (const char* name : {"setup.exe.", "setup.exe ", "setup. . "})
    EXPECT_EQ(check_stored_name(name).error, error_invalid_name) << name;
  EXPECT_EQ(check_stored_name("setup.exe").error, 0u);
}

}  // namespace
