#include "tools/tailpack/cli.h"

#include <memory>
#include <new>

#include "tools/tailpack/explain.h"
#include "tools/tailpack/extract.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/report.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

const char main_help[] =
    "Usage: tailpack <command> [options]\n"
    "\n"
    "Writes and examines Tailrun packages: a stub image followed by a chain of MD5-protected\n"
    "records that the stub reads backwards, from the tail marker at the end of the chain.\n"
    "\n"
    "Commands:\n"
    "  create   write a package from a stub image, settings and files\n"
    "  list     show the entries in the order the stub meets them, their effects and the verdict\n"
    "  verify   succeed exactly when the stub would accept the package\n"
    "  extract  write a package's files into a folder and print its settings, as the stub would\n"
    "  explain  show the file, parameters and directory that the stub would launch\n"
    "  help     show this text, or a command's ('tailpack help create')\n"
    "\n"
    "Run 'tailpack <command> --help' for a command's options.\n"
    "Exit status: 0 on success, 1 when the operation fails or the package is not accepted,\n"
    "2 when the command line is wrong.\n";

const char create_help[] =
    "Usage: tailpack create --stub STUB --output PACKAGE [--stub-name NAME] [options] [ENTRY...]\n"
    "\n"
    "Writes PACKAGE: the stub image, the stub entry, the entries in the order given, the tail marker.\n"
    "The FIRST entry given lands nearest the stub, the LAST one nearest the tail marker. The stub\n"
    "reads the chain from the tail, so it meets the last given entry first:\n"
    "  - among entries with the same key, the LAST one given takes effect;\n"
    "  - among file entries with the same stored name, the FIRST one given is written last by the\n"
    "    stub, so its data is what stays on disk.\n"
    "The same inputs always give the same bytes. The package is written to a new file beside\n"
    "PACKAGE and renamed over it only when complete, so a failed create leaves no partial package.\n"
    "\n"
    "Options:\n"
    "  --stub PATH            the stub image (the stub executable as built)\n"
    "  --output PATH          the package to write (replaced if it exists)\n"
    "  --stub-name NAME       the stub entry's file name (default: the base name of --stub)\n"
    "  --escaped              KEY, VALUE and NAME texts use the escapes that 'list' prints:\n"
    "                         \\\\ for a backslash, \\\" for a quote, \\xNN for any byte\n"
    "  --unchecked-names      store file names that the stub could not write as given (test packages)\n"
    "  -h, --help             show this text\n"
    "\n"
    "Entries (any number, in any order):\n"
    "  --value KEY=VALUE      a setting. KEY ends at the first '='; either side may be empty\n"
    "                         ('--value =' sets the empty key to the empty value)\n"
    "  --value-file KEY=PATH  a setting whose value is the bytes of the file at PATH\n"
    "  --file KEY[:NAME]=PATH a file for the stub to write into its working folder under NAME\n"
    "                         (default: the base name of PATH); a non-empty KEY also sets\n"
    "                         KEY -> NAME. KEY ends at the first ':' or '=', NAME at the first '='.\n"
    "                         NAME must be a plain file name.\n"
    "Use --escaped to put '=' or ':' into a key (\\x3d, \\x3a).\n"
    "\n"
    "Example:\n"
    "  tailpack create --stub Tailrun.exe --output Setup.exe \\\n"
    "      --file installer32=build/QVNEXSetup.exe --value executable32=%installer32% \\\n"
    "      --value parameters=/qn --value msilog=ON\n";

const char list_help[] =
    "Usage: tailpack list PACKAGE\n"
    "\n"
    "Walks the chain as the stub does and shows, in the order the stub meets them (from the tail):\n"
    "each entry's kind, key, value or stored name and size, and its effect. Settings are inserted\n"
    "if absent, so among equal keys the first met takes effect and the others are shadowed. A file\n"
    "entry's key follows the same rule, but its file is written in the order met, so among equal\n"
    "stored names the one met LAST (nearest the stub) stays on disk. Then the verdict: accepted or\n"
    "not, and why. Texts are quoted; bytes outside printable ASCII are shown as \\xNN.\n"
    "\n"
    "Exit status: 0 when the package could be read, whatever the verdict (see 'verify').\n";

const char verify_help[] =
    "Usage: tailpack verify PACKAGE\n"
    "\n"
    "Exits with 0 exactly when the stub would accept the package's chain, and otherwise with 1 and\n"
    "the reason: no tail marker, or a digest mismatch in the Nth record read (at file offset O), ...\n"
    "An accepted chain whose walk ended before the stub entry is reported with a warning.\n";

const char extract_help[] =
    "Usage: tailpack extract PACKAGE FOLDER\n"
    "\n"
    "Walks the chain as the stub does, writes every file entry into FOLDER (created if missing;\n"
    "files of the same name are replaced, so among equal names the one met last stays) and prints\n"
    "the settings that the stub would insert (insert-if-absent: the first met key wins).\n"
    "Refuses, before writing anything, stored names that could leave FOLDER or name a device:\n"
    "absolute or rooted paths, drives, UNC and device paths, '..', ':' streams, device names.\n"
    "Like the stub, it acts on the entries met before a rejected chain's walk ended, then fails.\n";

const char explain_help[] =
    "Usage: tailpack explain [--temp-folder PATH] [--command-line TEXT] PACKAGE [ARGS...]\n"
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
    "  -h, --help             show this text\n"
    "\n"
    "Output: one line each, \"command line: \", \"working folder: \", \"file: \", \"parameters: \",\n"
    "\"directory: \", \"msi log: \" (only when asked for), then \"note: \" lines. Each text follows its\n"
    "\": \" exactly as the stub passes it (leading spaces count), with control characters as \\xNN.\n"
    "\n"
    "Exit status: 0 when the stub would launch the installer (a warning on stderr when the walk ends\n"
    "early or the file to launch is not one the package writes); 1, with the reason and the stub's\n"
    "messages, when it would launch nothing: the package is not accepted, or a file cannot be\n"
    "extracted.\n";

struct command {
  const char* name;
  const char* help;
  int (*handler)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
  std::vector<std::string> with_value;  // options that take a value
  std::vector<std::string> flags;       // options that take none
};

// One parsed argument: an option (name without value, or with its value) or a positional one.
struct token {
  std::string option;  // "--value"; empty for a positional argument
  std::string value;
};

bool is_one_of(const std::string& option, const std::vector<std::string>& names) {
  for (const std::string& name : names)
    if (name == option) return true;
  return false;
}

// Splits `args` into options and positional arguments, in order. "--name=value" and "--name value"
// are both accepted for options that take a value; "-h" is "--help"; "--" ends the options.
std::vector<token> tokenize(const std::vector<std::string>& args, const std::vector<std::string>& with_value,
                            const std::vector<std::string>& flags) {
  std::vector<token> tokens;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      tokens.push_back(token{"", arg});
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    if (name == "-h") name = "--help";
    if (is_one_of(name, with_value)) {
      if (equals != std::string::npos) {
        tokens.push_back(token{name, arg.substr(equals + 1)});
      } else if (i + 1 < args.size()) {
        tokens.push_back(token{name, args[++i]});
      } else {
        throw usage_error(name + " needs a value");
      }
    } else if (is_one_of(name, flags) && equals == std::string::npos) {
      tokens.push_back(token{name, ""});
    } else if (is_one_of(name, flags)) {
      throw usage_error(name + " takes no value");
    } else {
      throw usage_error("unknown option " + name);
    }
  }
  return tokens;
}

bool wants_help(const std::vector<token>& tokens) {
  for (const token& t : tokens)
    if (t.option == "--help") return true;
  return false;
}

// The positional arguments of a command that takes exactly `names`.
std::vector<std::string> positionals(const std::vector<token>& tokens, const std::vector<std::string>& names) {
  std::vector<std::string> values;
  for (const token& t : tokens)
    if (t.option.empty()) values.push_back(t.value);
  if (values.size() < names.size()) throw usage_error(names[values.size()] + " is missing");
  if (values.size() > names.size()) throw usage_error("unexpected argument " + quoted(values[names.size()]));
  return values;
}

// --- create ---

void set_once(std::string& target, bool& given, const token& t) {
  if (given) throw usage_error(t.option + " given twice");
  target = t.value;
  given = true;
}

std::string decode(const std::string& text, bool escaped, const std::string& option) {
  if (!escaped) return text;
  try {
    return unescape_text(text);
  } catch (const std::invalid_argument& e) {
    throw usage_error(option + ": " + e.what());
  }
}

entry_source parse_entry(const token& t, bool escaped) {
  const std::size_t equals = t.value.find('=');
  if (equals == std::string::npos) {
    const char* form = t.option == "--file" ? "KEY[:NAME]=PATH" : t.option == "--value" ? "KEY=VALUE" : "KEY=PATH";
    throw usage_error(t.option + " needs " + form + ", got " + quoted(t.value));
  }
  entry_source source;
  std::string key = t.value.substr(0, equals);
  const std::string rest = t.value.substr(equals + 1);
  if (t.option == "--value") {
    source.kind = entry_source::type::value;
    source.value = decode(rest, escaped, t.option);
  } else {
    if (rest.empty()) throw usage_error(t.option + " " + quoted(t.value) + ": PATH is empty");
    source.path = rest;
    source.kind = t.option == "--file" ? entry_source::type::file : entry_source::type::value_file;
    const std::size_t colon = key.find(':');
    if (source.kind == entry_source::type::file && colon != std::string::npos) {
      source.name = decode(key.substr(colon + 1), escaped, t.option);
      source.name_given = true;
      key.resize(colon);
    }
  }
  source.key = decode(key, escaped, t.option);
  return source;
}

int run_create(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const create_request request = parse_create(args);
  const create_summary summary = create_package(request);
  out << "wrote " << request.output_path << ": " << summary.size << " bytes, " << summary.entries << " entries\n";
  return exit_ok;
}

// --- list, verify, extract ---

std::unique_ptr<byte_source> open_package(const std::string& path) {
  std::string reason;
  std::unique_ptr<byte_source> file = open_package_file(path, &reason);
  if (!file) throw failure("cannot open " + path + ": " + reason);
  return file;
}

int run_list(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const std::string path = positionals(tokenize(args, {}, {"--help"}), {"PACKAGE"})[0];
  const std::unique_ptr<byte_source> file = open_package(path);
  print_listing(path, read_package_report(*file), out);
  return exit_ok;
}

int run_verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string path = positionals(tokenize(args, {}, {"--help"}), {"PACKAGE"})[0];
  const std::unique_ptr<byte_source> file = open_package(path);
  const walk_result result = walk_chain(*file, [](chain_entry&) { return true; });
  const std::string reason = verdict_reason(result);
  if (!result.accepted) throw failure(path + ": not accepted: " + reason);
  if (!reason.empty()) err << "tailpack: warning: " << path << ": " << reason << '\n';
  out << path << ": accepted\n";
  return exit_ok;
}

int run_extract(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const std::vector<std::string> values = positionals(tokenize(args, {}, {"--help"}), {"PACKAGE", "FOLDER"});
  const std::unique_ptr<byte_source> file = open_package(values[0]);
  const extract_summary summary = extract_to_folder(*file, values[1]);
  for (const written_file& written : summary.files)
    out << "#" << written.entry << " wrote " << written.path << " (" << written.size << " bytes)\n";
  out << "settings:\n";
  if (summary.settings.size() == 0) out << "  (none)\n";
  for (const auto& setting : summary.settings) {
    out << "  " << quoted(setting.first) << " = " << quoted(setting.second);
    if (is_reserved_key(setting.first)) out << " (the stub sets this key itself first: no effect)";
    out << '\n';
  }
  if (!summary.result.accepted)
    throw failure(values[0] + ": not accepted: " + verdict_reason(summary.result) +
                  " (the files and settings above are those met before)");
  out << "verdict: " << verdict_text(summary.result) << '\n';
  return exit_ok;
}

// --- explain ---

const std::vector<std::string> explain_options = {"--temp-folder", "--command-line"};

struct explain_request {
  std::string package;
  std::string command_line;
  std::string temp_folder = example_temp_folder;
};

explain_request parse_explain(const std::vector<std::string>& args) {
  explain_request request;
  bool command_line_given = false, temp_folder_given = false;
  std::vector<std::string> words;
  for (const token& t : tokenize(args, explain_options, {"--help"})) {
    if (t.option.empty()) {
      words.push_back(t.value);
    } else if (t.option == "--command-line") {
      set_once(request.command_line, command_line_given, t);
    } else if (t.option == "--temp-folder") {
      set_once(request.temp_folder, temp_folder_given, t);
    }
  }
  if (words.empty()) throw usage_error("PACKAGE is missing");
  if (command_line_given && words.size() > 1) throw usage_error("ARGS and --command-line given together");
  if (request.temp_folder.empty()) throw usage_error("--temp-folder is empty");
  if (request.temp_folder.find('/') != std::string::npos)
    throw usage_error("--temp-folder needs a Windows path with backslashes, got " + quoted(request.temp_folder));
  request.package = words[0];
  for (std::size_t i = 1; i < words.size(); ++i) request.command_line += (i == 1 ? "" : " ") + words[i];
  return request;
}

int run_explain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const explain_request request = parse_explain(args);
  const std::unique_ptr<byte_source> file = open_package(request.package);
  const explanation explained =
      explain_launch(*file, request.command_line, example_working_folder(request.temp_folder));
  if (!explained.launches()) throw failure(request.package + ": " + describe_refusal(explained));
  for (const std::string& warning : explained.warnings)
    err << "tailpack: warning: " << request.package << ": " << warning << '\n';
  print_explanation(explained, out);
  return exit_ok;
}

int run_help(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

const std::vector<std::string> create_options = {"--stub",  "--output",     "--stub-name",
                                                   "--value", "--value-file", "--file"};
const std::vector<std::string> create_flags = {"--escaped", "--unchecked-names", "--help"};

const std::vector<command>& commands() {
  static const std::vector<command> table = {
      {"create", create_help, run_create, create_options, create_flags},
      {"list", list_help, run_list, {}, {"--help"}},
      {"verify", verify_help, run_verify, {}, {"--help"}},
      {"extract", extract_help, run_extract, {}, {"--help"}},
      {"explain", explain_help, run_explain, explain_options, {"--help"}},
      {"help", main_help, run_help, {}, {"--help"}},
  };
  return table;
}

const command* find_command(const std::string& name) {
  for (const command& c : commands())
    if (name == c.name) return &c;
  return nullptr;
}

int run_help(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const std::vector<token> tokens = tokenize(args, {}, {"--help"});
  std::vector<std::string> names;
  for (const token& t : tokens)
    if (t.option.empty()) names.push_back(t.value);
  if (names.size() > 1) throw usage_error("unexpected argument " + quoted(names[1]));
  const command* c = names.empty() ? find_command("help") : find_command(names[0]);
  if (!c) throw usage_error("unknown command " + quoted(names[0]));
  out << c->help;
  return exit_ok;
}

}  // namespace

create_request parse_create(const std::vector<std::string>& args) {
  const std::vector<token> tokens = tokenize(args, create_options, create_flags);
  bool escaped = false;
  for (const token& t : tokens) escaped = escaped || t.option == "--escaped";
  create_request request;
  bool stub_given = false, output_given = false;
  for (const token& t : tokens) {
    if (t.option.empty()) throw usage_error("unexpected argument " + quoted(t.value));
    if (t.option == "--stub") {
      set_once(request.stub_path, stub_given, t);
    } else if (t.option == "--output") {
      set_once(request.output_path, output_given, t);
    } else if (t.option == "--stub-name") {
      set_once(request.stub_name, request.stub_name_given, t);
      request.stub_name = decode(request.stub_name, escaped, t.option);
    } else if (t.option == "--unchecked-names") {
      request.unchecked_names = true;
    } else if (t.option == "--value" || t.option == "--value-file" || t.option == "--file") {
      request.entries.push_back(parse_entry(t, escaped));
    }
  }
  if (!stub_given || request.stub_path.empty()) throw usage_error("--stub is missing");
  if (!output_given || request.output_path.empty()) throw usage_error("--output is missing");
  return request;
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
  const command* c = find_command(args[0]);
  if (!c) {
    err << "tailpack: unknown command " << quoted(args[0]) << " (try 'tailpack --help')\n";
    return exit_usage;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const std::string prefix = std::string("tailpack: ") + c->name + ": ";
  try {
    if (wants_help(tokenize(rest, c->with_value, c->flags))) {
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
