// What an MSI setup program hands msiexec. A Tailrun package that carries an MSI launches this
// setup program with the command line the stub composes (the user's arguments, the package's
// parameters with their "/V" text, the MSI log switch, a "/L" language); the setup program turns
// it into msiexec's arguments. Portable string functions over UTF-8 text.
#pragma once
#include <string>

namespace msi_setup {

struct msiexec_arguments {
  std::string arguments;  // for msiexec, after "/i <package>"; empty when there are none
  std::string language;   // the digits of a "/L<digits>" word, empty without one
};

// Translates `arguments` word by word (words are separated by blanks; quotation marks keep blanks
// in a word):
//   /s, /S       become /qn
//   /V"TEXT"     TEXT, with each \" read as ", goes to msiexec as it is (properties and msiexec
//                options such as /l*v); /v counts too, and the bare form /VTEXT ends at the next blank
//   /L<digits>   the setup's language: not passed on (to msiexec /L is a log switch)
//   other words  pass through unchanged
msiexec_arguments translate_setup_arguments(const std::string& arguments);

// "msiexec.exe /i \"<msi_path>\"", then a space and `arguments` unless they are empty.
std::string msiexec_command_line(const std::string& msi_path, const std::string& arguments);

// The MSI that the setup program at `program_path` installs: the path with ".msi" in place of the
// file name's extension (".msi" appended when the name has none).
std::string msi_beside(const std::string& program_path);

}  // namespace msi_setup
