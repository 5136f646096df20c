// tailpack extract: its options, help and output.
#include "tools/tailpack/command.h"
#include "tools/tailpack/extract.h"
#include "tools/tailpack/files.h"
#include "run/launch_plan.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/report.h"

namespace tailpack {

namespace {

const char help[] =
    "Usage: tailpack extract [--codepage CP] PACKAGE FOLDER\n"
    "\n"
    "Runs the stub's run core, writes every file entry it writes into FOLDER (created if missing,\n"
    "with its parent folders; files of the same name are replaced, so among equal names the one\n"
    "met last stays) and prints the settings that the stub would insert (insert-if-absent: the\n"
    "first met key wins).\n"
    "Refuses, writing nothing, the stored names that the stub refuses (names that could leave\n"
    "the folder or name a device, folder parts, characters Windows does not allow, paths too long\n"
    "for a typical temporary folder).\n"
    "Writes only inside FOLDER: each file is created new, never through a link that stands in\n"
    "FOLDER under its name (such a link is refused), and a file that fails is removed again.\n"
    "Like the stub, it acts on the entries met before a rejected chain's walk ended; the verdict\n"
    "line says so. It never replaces the package it reads (by file identity, whatever the name).\n"
    "\n"
    "Options:\n"
    "  --codepage CP          stored names and settings are in Windows code page CP: files are\n"
    "                         written under the decoded names, and settings are shown decoded\n"
    "  -h, --help             show this text\n"
    "\n"
    "Exit status: 0 when the files were written, also for a package the stub would refuse (see\n"
    "'verify'); 1 when a file cannot be written or the stub would refuse to write one.\n";

const option_set options = {{"--codepage"}, {}};

int run_extract(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const std::vector<token> tokens = tokenize(args, options);
  const std::vector<std::string> values = positionals(tokens, {"PACKAGE", "FOLDER"});
  if (values[1].empty()) throw usage_error("FOLDER is empty (give '.' for the current folder)");
  const text_view view(code_page_option(tokens));
  const std::unique_ptr<byte_source> file = open_package(values[0]);
  const extract_summary summary = extract_to_folder(*file, values[0], values[1], view);
  for (const written_file& written : summary.files)
    out << "wrote " << written.path << " (" << written.size << " bytes)\n";
  out << "settings:\n";
  if (summary.settings.size() == 0) out << "  (none)\n";
  for (const auto& setting : summary.settings) {
    out << "  " << view.quote(setting.first) << " = " << view.quote(setting.second);
    if (is_run_setting(setting.first)) out << " (the stub sets this key itself first: no effect)";
    out << '\n';
  }
  out << "verdict: " << verdict_text(summary.result);
  if (!summary.result.accepted) out << " (the files and settings above are those met before)";
  out << '\n';
  return exit_ok;
}

}  // namespace

const command extract_command = {"extract", help, options, run_extract};

}  // namespace tailpack
