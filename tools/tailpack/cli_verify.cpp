// tailpack verify: its options, help and output (text, or JSON with --json).
#include "tools/tailpack/command.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/json_output.h"
#include "tools/tailpack/verify.h"

namespace tailpack {

namespace {

const char help[] =
    "Usage: tailpack verify [--temp-folder PATH] [--codepage CP] [--allow-changed-stub] [--json] PACKAGE\n"
    "\n"
    "Runs the stub's own run core on a simulated machine and exits with 0 exactly when that run\n"
    "launches the installer, otherwise with 1 and the reason, naming the entry where there is one:\n"
    "  - the package does not begin with an intact Tailrun stub: another program, an image cut\n"
    "    short, or one whose bytes differ from what was packed (its record's digest) beyond the\n"
    "    checksum and security directory that code signing changes;\n"
    "  - the chain is not accepted: no tail marker, a digest mismatch in the Nth record read (at\n"
    "    file offset O), a walk that ends anywhere but at the stub entry (a record reaching before\n"
    "    the start of the file or into the stub's image, a short read), ...;\n"
    "  - a file entry's stored name leaves the working folder (\"..\", a drive, a rooted path, ...),\n"
    "    has a folder part, a character Windows does not allow, or is longer than 255 characters:\n"
    "    the stub stops its extraction at that entry;\n"
    "  - \"executable32\", expanded and resolved as Windows resolves a path, names no file that the\n"
    "    package writes, names a folder, names an .exe or .com file that is no program image, or\n"
    "    makes a path longer than the 259 characters that Windows launches;\n"
    "  - it names a file outside the working folder, which nothing in the package vouches for.\n"
    "\n"
    "Options:\n"
    "  --temp-folder PATH     the stub's temporary folder, a Windows path (default:\n"
    "                         C:\\Users\\user\\AppData\\Local\\Temp): path lengths depend on it\n"
    "  --codepage CP          show texts decoded from Windows code page CP (the one the package\n"
    "                         was created with); a text that is not valid in CP is shown as bytes\n"
    "  --allow-changed-stub   a stub image changed after packing (only its digest disagrees) is a\n"
    "                         warning, not a refusal\n"
    "  --json                 one JSON document (schema \"tailpack-verify\", see the README); the\n"
    "                         exit status is the same\n"
    "  -h, --help             show this text\n"
    "\n"
    "Exit status: 0 the stub would run the package; 1 it would not, or the package cannot be read;\n"
    "2 a wrong command line.\n";

const option_set options = {{"--temp-folder", "--codepage"}, {"--json", "--allow-changed-stub"}};

json json_verification(const std::string& path, const verification& verified, const text_view& package_view) {
  json document = json_document("verify", package_view);
  const text_view view = package_view.run_texts();
  document["package"] = path;
  document["passes"] = verified.passes();
  json problems = json::array(), warnings = json::array();
  for (const std::string& problem : verified.problems) problems.push_back(view.plain(problem));
  for (const std::string& warning : verified.warnings) warnings.push_back(view.plain(warning));
  document["problems"] = problems;
  document["warnings"] = warnings;
  bool decoded = true;
  document["launch_file"] = verified.passes() ? json_text(verified.launch_file, view, &decoded) : json(nullptr);
  if (!decoded && package_view.code_page()) document["undecoded"] = json::array({"launch_file"});
  document["walk"] = json_walk(verified.outcome.walk);
  const signing_facts& signing = verified.signing;
  document["signature"] = {{"signed", signing.is_signed}, {"chain_end", signing.chain_end}};
  if (signing.is_signed) {
    document["signature"]["table_offset"] = signing.table;
    document["signature"]["table_size"] = signing.table_size;
    document["signature"]["padding"] = signing.table - signing.chain_end;
  }
  return document;
}

int run_verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::vector<token> tokens = tokenize(args, options);
  const std::string path = positionals(tokens, {"PACKAGE"})[0];
  const std::string temp_folder = temp_folder_option(tokens);
  const text_view package_view(code_page_option(tokens));
  const text_view view = package_view.run_texts();
  const std::unique_ptr<byte_source> file = open_package(path);
  const verification verified =
      verify_package(*file, path, temp_folder, package_view.code_page(), has_option(tokens, "--allow-changed-stub"));
  if (has_option(tokens, "--json")) {
    print_json(json_verification(path, verified, package_view), out);
    return verified.passes() ? exit_ok : exit_failure;
  }
  if (!verified.passes()) throw failure(path + ": " + view.plain(verified.problems.front()));
  for (const std::string& warning : verified.warnings)
    err << "tailpack: warning: " << path << ": " << view.plain(warning) << '\n';
  out << path << ": accepted, launches " << view.quote(verified.launch_file) << '\n';
  const signing_facts& signing = verified.signing;
  if (signing.is_signed) {
    out << path << ": signed: the chain ends at " << signing.chain_end << ", " << signing.table - signing.chain_end
        << " zero bytes before the certificate table of " << signing.table_size << " bytes at " << signing.table
        << " (an 8-byte boundary)\n";
  } else {
    out << path << ": not signed\n";
  }
  return exit_ok;
}

}  // namespace

const command verify_command = {"verify", help, options, run_verify};

}  // namespace tailpack
