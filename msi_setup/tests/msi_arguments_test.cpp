#include "msi_setup/msi_arguments.h"

#include <gtest/gtest.h>

namespace {

struct translation_case {
  const char* arguments;
  const char* msiexec;
  const char* language;
};

// What the stub composes (the user's words, the package's "/V" text with the log switch, a
// language) against what msiexec must get.
TEST(translate_setup_arguments, stub_command_lines) {
  const translation_case cases[] = {
      {"", "", ""},
      {"/L1031 /s /V\"/l*v \\\"C:\\Temp\\QVNEX_msi.log.txt\\\" MYPROP=1\"",
       "/qn /l*v \"C:\\Temp\\QVNEX_msi.log.txt\" MYPROP=1", "1031"},
      {"/S FAILME=1", "/qn FAILME=1", ""},
      {"/vA=1 B", "A=1 B", ""},                                  // bare form ends at the blank
      {"/V\"INSTALLDIR=C:\\My Dir\" /norestart", "INSTALLDIR=C:\\My Dir /norestart", ""},
      {"/V\"unterminated", "unterminated", ""},                  // up to the end
      {"/V\"\"", "", ""},                                         // an empty text adds nothing
      {"/L /Lx /L12", "/L /Lx", "12"},                           // only /L<digits> is a language
      {"\"a b\"  /silent", "\"a b\" /silent", ""},              // quotes keep a word; /silent is no /s
  };
  for (const translation_case& c : cases) {
    const msi_setup::msiexec_arguments got = msi_setup::translate_setup_arguments(c.arguments);
    EXPECT_EQ(got.arguments, c.msiexec) << c.arguments;
    EXPECT_EQ(got.language, c.language) << c.arguments;
  }
}

TEST(msi_setup_paths, msi_beside_and_command_line) {
  EXPECT_EQ(msi_setup::msi_beside("C:\\Temp\\x.y\\Setup.exe"), "C:\\Temp\\x.y\\Setup.msi");
  EXPECT_EQ(msi_setup::msi_beside("C:\\Temp\\x.y\\Setup"), "C:\\Temp\\x.y\\Setup.msi");
  EXPECT_EQ(msi_setup::msiexec_command_line("C:\\a b\\p.msi", ""), "msiexec.exe /i \"C:\\a b\\p.msi\"");
  EXPECT_EQ(msi_setup::msiexec_command_line("p.msi", "/qn"), "msiexec.exe /i \"p.msi\" /qn");
}

}  // namespace
