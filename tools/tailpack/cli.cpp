#include "tools/tailpack/cli.h"

#include <new>
#include <optional>

#include "tools/tailpack/command.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/json_output.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

const char main_help[] =
    "Usage: tailpack <command> [options]\n"
    "       tailpack --version\n"
    "\n"
    "Writes and examines Tailrun packages: a stub image followed by a chain of MD5-protected\n"
    "records that the stub reads backwards, from the tail marker at the end of the chain.\n"
    "\n"
    "Commands:\n"
    "  create   write a package from a stub image, settings and files\n"
    "  list     show the entries in the order the stub meets them, their effects and the verdict\n"
    "  verify   succeed exactly when the stub would extract the package and launch its installer\n"
    "  extract  write a package's files into a folder and print its settings, as the stub would\n"
    "  explain  show the file, parameters and directory that the stub would launch\n"
    "  help     show this text, or a command's ('tailpack help create')\n"
    "\n"
    "Run 'tailpack <command> --help' for a command's options.\n"
    "Texts on the command line are UTF-8 (tailpack.exe: the Windows command line, as Unicode). The\n"
    "package holds them in the target machine's ANSI code page: give it with --codepage.\n"
    "Exit status, the same for every command:\n"
    "  0  the command did its job (list, extract and explain also for a package that the stub\n"
    "     would refuse: they show what they find; verify is the one that judges)\n"
    "  1  it could not (verify: the stub would not run the package)\n"
    "  2  the command line is wrong\n"
    "With --json, list, verify and explain print one JSON document on every outcome; on failure\n"
    "it holds \"error\", the message.\n";

int run_help(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

const command help_command = {"help", main_help, {}, run_help};

const command* const all_commands[] = {&create_command,  &list_command,    &verify_command,
                                       &extract_command, &explain_command, &help_command};

const command* find_command(const std::string& name) {
  for (const command* c : all_commands)
    if (name == c->name) return c;
  return nullptr;
}

int run_help(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const std::vector<token> tokens = tokenize(args, {});
  std::vector<std::string> names;
  for (const token& t : tokens)
    if (t.option.empty()) names.push_back(t.value);
  if (names.size() > 1) throw usage_error("unexpected argument " + tailpack::quoted(names[1]));
  const command* c = names.empty() ? &help_command : find_command(names[0]);
  if (!c) throw usage_error("unknown command " + tailpack::quoted(names[0]));
  out << c->help;
  return exit_ok;
}

// True when the command's arguments ask for JSON: "--json" among the options (before "--"), read
// without the parser, which may be what failed.
bool json_requested(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--json") return true;
  }
  return false;
}

// The package a command's arguments name (create's --output, else the first positional argument),
// or none when they do not parse.
std::optional<std::string> named_package(const command& c, const std::vector<std::string>& args) {
  try {
    for (const token& t : tokenize(args, c.options))
      if (t.option.empty() || t.option == "--output") return t.value;
  } catch (const usage_error&) {
  }
  return std::nullopt;
}

// The message of a failed command: one line on `err`, and with --json also the command's document
// holding its head, the package when the arguments name one, and "error", so that a caller reading
// stdout always gets one document.
void report_error(const command& c, const std::vector<std::string>& args, const std::string& message,
                  std::ostream& out, std::ostream& err) {
  err << "tailpack: " << c.name << ": " << message << '\n';
  if (!json_requested(args)) return;
  json document = json_document(c.name, text_view());
  if (const std::optional<std::string> package = named_package(c, args)) document["package"] = *package;
  document["error"] = message;
  print_json(document, out);
}

}  // namespace

std::unique_ptr<byte_source> open_package(const std::string& path) {
  std::string reason;
  std::unique_ptr<byte_source> file = open_input_file(path, &reason);
  if (!file) throw failure("cannot open " + path + ": " + reason);
  return file;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "tailpack: a command is missing (try 'tailpack --help')\n";
    return exit_usage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    out << main_help;
    return exit_ok;
  }
  if (args[0] == "--version") {
    out << "tailpack " << TAILRUN_VERSION << '\n';
    return exit_ok;
  }
  const command* c = find_command(args[0]);
  if (!c) {
    err << "tailpack: unknown command " << tailpack::quoted(args[0]) << " (try 'tailpack --help')\n";
    return exit_usage;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (has_option(tokenize(rest, c->options), "--help")) {
      out << c->help;
      return exit_ok;
    }
    return c->handler(rest, out, err);
  } catch (const usage_error& e) {
    report_error(*c, rest, std::string(e.what()) + " (try 'tailpack " + c->name + " --help')", out, err);
    return exit_usage;
  } catch (const std::bad_alloc&) {
    report_error(*c, rest, "out of memory", out, err);
  } catch (const std::exception& e) {
    report_error(*c, rest, e.what(), out, err);
  }
  return exit_failure;
}

}  // namespace tailpack
