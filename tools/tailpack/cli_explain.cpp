// tailpack explain: its options, help and output (text, or JSON with --json).
#include "tools/tailpack/brand_output.h"
#include "tools/tailpack/command.h"
#include "tools/tailpack/explain.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/json_output.h"
#include "tools/tailpack/text.h"
#include "tools/tailpack/text_view.h"

namespace tailpack {

namespace {

const char help[] =
    "Usage: tailpack explain [--temp-folder PATH] [--command-line TEXT] [--codepage CP] [--json]\n"
    "                        PACKAGE [ARGS...]\n"
    "\n"
    "Shows what the stub would launch when started with the command line ARGS: the file, its\n"
    "parameters and its working directory, and the MSI log path when the package asks for the log.\n"
    "They come from the code that the stub runs: its own settings \"source\" and \"commandline\"\n"
    "(the command line without its /V option) first, then the package's settings in the order the\n"
    "stub meets them (insert-if-absent; a file entry's key names its stored file), then the /V text\n"
    "and the MSI log option merged into \"parameters\", then the placeholders expanded.\n"
    "\n"
    "The stub receives its command line as one text. ARGS are joined with single spaces into that\n"
    "text, after your shell (or, on Windows, the C run-time) has removed their quoting; give the\n"
    "exact text with --command-line instead, e.g.\n"
    "  tailpack explain Setup.exe --command-line '/s /V\"A=1  B=2\"'\n"
    "Put -- before ARGS that start with '-'.\n"
    "\n"
    "Not applied: the \"/L\" language option, which the stub takes from the registry of the machine\n"
    "where the package runs.\n"
    "\n"
    "Options:\n"
    "  --temp-folder PATH     the stub's temporary folder, a Windows path (default:\n"
    "                         C:\\Users\\user\\AppData\\Local\\Temp). The working folder is\n"
    "                         PATH\\QVT1700000000\\; the number is an example, the stub takes it\n"
    "                         from the time of its run. The directory and the MSI log lie in PATH.\n"
    "  --command-line TEXT    the stub's command line as one text, instead of ARGS\n"
    "  --codepage CP          the machine's ANSI code page: the package's texts are decoded from it,\n"
    "                         as the stub decodes them (the command line and temporary folder may\n"
    "                         hold any characters, as the stub's do)\n"
    "  --json                 one JSON document (schema \"tailpack-explain\", see the README)\n"
    "  -h, --help             show this text\n"
    "\n"
    "Output: one line each, \"command line: \", \"working folder: \", \"file: \", \"parameters: \",\n"
    "\"directory: \", \"msi log: \" (only when asked for), then \"note: \" lines and \"brand: \" (the\n"
    "stub's product, family, version, company). Each text follows its \": \" exactly as the stub\n"
    "passes it (leading spaces count), with control characters as \\xNN.\n"
    "\n"
    "Exit status: 0 when the package could be read, also when the stub would launch nothing: then\n"
    "a \"refusal: \" line gives the reason, the stub's messages and its exit code instead of the\n"
    "launch (a warning on stderr when the walk ends early or the file to launch is not one the\n"
    "package writes); 1 when the package cannot be read. 'verify' is the command that judges.\n";

const option_set options = {{"--temp-folder", "--command-line", "--codepage"}, {"--json"}};

struct explain_request {
  std::string package;
  std::string command_line;
  std::string temp_folder;
  std::optional<unsigned> code_page;
  bool json = false;
};

explain_request parse_explain(const std::vector<std::string>& args) {
  explain_request request;
  bool command_line_given = false;
  std::vector<std::string> words;
  const std::vector<token> tokens = tokenize(args, options);
  request.code_page = code_page_option(tokens);
  request.json = has_option(tokens, "--json");
  request.temp_folder = temp_folder_option(tokens);
  for (const token& t : tokens) {
    if (t.option.empty()) {
      words.push_back(t.value);
    } else if (t.option == "--command-line") {
      set_once(request.command_line, command_line_given, t);
    }
  }
  if (words.empty()) throw usage_error("PACKAGE is missing");
  if (command_line_given && words.size() > 1) throw usage_error("ARGS and --command-line given together");
  request.package = words[0];
  for (std::size_t i = 1; i < words.size(); ++i) request.command_line += (i == 1 ? "" : " ") + words[i];
  return request;
}

json json_explanation(const explain_request& request, const explanation& explained, const text_view& package_view,
                      const std::optional<brand_info>& brand) {
  json document = json_document("explain", package_view);
  const text_view view = package_view.run_texts();
  document["package"] = request.package;
  document["command_line"] = json_text(explained.command_line, view);
  document["working_folder"] = json_text(explained.working_folder, view);
  document["silent"] = explained.silent;
  document["launches"] = explained.launches();
  if (explained.launches()) {
    document["refusal"] = nullptr;
    document["messages"] = json::array();
    document["launch"] = {{"file", json_text(explained.plan.file, view)},
                          {"parameters", json_text(explained.plan.parameters, view)},
                          {"directory", json_text(explained.plan.directory, view)},
                          {"msi_log", explained.msi_log ? json_text(*explained.msi_log, view) : json(nullptr)}};
  } else {
    document["refusal"] = explained.refusal;
    document["messages"] = explained.silent ? json::array() : json(explained.messages);
    document["launch"] = nullptr;
  }
  document["warnings"] = explained.warnings;
  document["brand"] = json_brand(brand);
  document["walk"] = json_walk(explained.result);
  return document;
}

int run_explain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const explain_request request = parse_explain(args);
  const text_view view(request.code_page);
  const std::unique_ptr<byte_source> file = open_package(request.package);
  const explanation explained =
      explain_launch(*file, request.package, request.command_line, request.temp_folder, request.code_page);
  const std::optional<brand_info> brand = read_brand(*file);
  if (request.json) {
    print_json(json_explanation(request, explained, view, brand), out);
    return exit_ok;
  }
  for (const std::string& warning : explained.warnings)
    err << "tailpack: warning: " << request.package << ": " << warning << '\n';
  print_explanation(explained, view.run_texts(), out);
  print_brand(brand, out);
  return exit_ok;
}

}  // namespace

const command explain_command = {"explain", help, options, run_explain};

}  // namespace tailpack
