#include "tools/tailpack/cli.h"

#include <new>

#include "tools/tailpack/command.h"
#include "tools/tailpack/files.h"
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
    "Exit status: 0 on success, 1 when the operation fails or the package is not accepted,\n"
    "2 when the command line is wrong.\n";

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
  if (names.size() > 1) throw usage_error("unexpected argument " + quoted(names[1]));
  const command* c = names.empty() ? &help_command : find_command(names[0]);
  if (!c) throw usage_error("unknown command " + quoted(names[0]));
  out << c->help;
  return exit_ok;
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
    err << "tailpack: unknown command " << quoted(args[0]) << " (try 'tailpack --help')\n";
    return exit_usage;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const std::string prefix = std::string("tailpack: ") + c->name + ": ";
  try {
    if (has_option(tokenize(rest, c->options), "--help")) {
      out << c->help;
      return exit_ok;
    }
    return c->handler(rest, out, err);
  } catch (const usage_error& e) {
    err << prefix << e.what() << " (try 'tailpack " << c->name << " --help')\n";
    return exit_usage;
  } catch (const std::bad_alloc&) {
    err << prefix << "out of memory\n";
  } catch (const std::exception& e) {
    err << prefix << e.what() << '\n';
  }
  return exit_failure;
}

}  // namespace tailpack
