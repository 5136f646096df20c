// tailpack create: its options, help and output.

#include "tools/tailpack/cli.h"
#include "tools/tailpack/codepage.h"
#include "tools/tailpack/command.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/create.h"
#include "tools/tailpack/create_warnings.h"
#include "tools/tailpack/options.h"
#include "tools/tailpack/signing.h"
#include "tools/tailpack/verify.h"
#include "tools/tailpack/stub_check.h"
#include "tools/tailpack/text.h"
#include "tools/tailpack/text_view.h"

namespace tailpack {

namespace {

const char help[] =
    "Usage: tailpack create [--stub STUB] --output PACKAGE [--codepage CP] [options] [ENTRY...]\n"
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
    "Refused (exit 1, nothing written): a stub that is not a Tailrun stub (it carries a mark that\n"
    "its build leaves, resource TAILRUNSTUB 1), or one that is signed; a package without\n"
    "\"executable32\", or whose \"executable32\", expanded with the package's own settings, names no\n"
    "file that it carries. A warning when the installer's command line could pass the 32,767\n"
    "characters that Windows allows.\n"
    "\n"
    "Options:\n"
    "  --stub PATH            the stub image (default: the stub installed with tailpack,\n"
    "                         " TAILRUN_STUB_FROM_BIN " from tailpack's folder)\n"
    "  --output PATH          the package to write (replaced if it exists, unless it is one of\n"
    "                         the inputs: that is refused, whatever name or link it goes by)\n"
    "  --stub-name NAME       the stub entry's file name (default: the base name of the stub)\n"
    "  --codepage CP          store every key, value and name in Windows code page CP, the ANSI\n"
    "                         code page of the machines that run the package (1252 Western\n"
    "                         European, 1250 Central European, 1251 Cyrillic, 1253 Greek, 932\n"
    "                         Japanese, 936 Simplified Chinese, ...). Texts that CP cannot hold\n"
    "                         are refused. Without it, a text that is not ASCII is refused.\n"
    "  --escaped              KEY, VALUE and NAME texts use the escapes that 'list' prints:\n"
    "                         \\\\ for a backslash, \\\" for a quote, \\xNN for any byte (stored as\n"
    "                         it is, whatever --codepage says)\n"
    "  --unchecked-names      store file names that the stub could not write as given (test packages)\n"
    "  --unchecked-launch     write a package that the stub cannot launch (test packages)\n"
    "  --strip-signature      remove a signed stub's signature (with a warning) instead of\n"
    "                         refusing it; sign the package after create\n"
    "\n"
    "Branding (the stub's resources in the package; absent ones keep the stub's own):\n"
    "  --product NAME         the product name (string 2002; also the version resource's\n"
    "                         ProductName and, unless --description, FileDescription); the stub\n"
    "                         names its registry keys after it. At most 259 characters\n"
    "  --family NAME          the product family name (string 2001), at most 259 characters\n"
    "  --icon FILE.ico        the program icon (replaces any icon group)\n"
    "  --version 1.2.3[.4]    the file and product version\n"
    "  --company TEXT, --description TEXT, --copyright TEXT\n"
    "                         the version resource's CompanyName, FileDescription, LegalCopyright\n"
    "  -h, --help             show this text\n"
    "\n"
    "Entries (any number, in any order):\n"
    "  --value KEY=VALUE      a setting. KEY ends at the first '='; either side may be empty\n"
    "                         ('--value =' sets the empty key to the empty value)\n"
    "  --value-file KEY=PATH  a setting whose value is the bytes of the file at PATH, stored as they are\n"
    "  --file KEY[:NAME]=PATH a file for the stub to write into its working folder under NAME\n"
    "                         (default: the base name of PATH); a non-empty KEY also sets\n"
    "                         KEY -> NAME. KEY ends at the first ':' or '=', NAME at the first '='.\n"
    "                         NAME must be a plain file name.\n"
    "Use --escaped to put '=' or ':' into a key (\\x3d, \\x3a).\n"
    "\n"
    "Example:\n"
    "  tailpack create --stub Tailrun.exe --output Setup.exe --codepage 1252 \\\n"
    "      --file installer32=build/QVNEXSetup.exe --value executable32=%installer32% \\\n"
    "      --value parameters=/qn --value msilog=ON\n"
    "\n"
    "Exit status: 0 written; 1 refused or failed, nothing written; 2 a wrong command line.\n";

const option_set options = {{"--stub", "--output", "--stub-name", "--value", "--value-file", "--file", "--codepage",
                             "--product", "--family", "--icon", "--version", "--company", "--description",
                             "--copyright"},
                            {"--escaped", "--unchecked-names", "--unchecked-launch", "--strip-signature"}};

// Takes a branding option into `brand`; false when `t` is none. Throws usage_error.
bool parse_brand_option(const token& t, brand_request& brand) {
  const std::pair<const char*, std::optional<std::string>*> texts[] = {
      {"--product", &brand.product}, {"--family", &brand.family}, {"--company", &brand.company},
      {"--description", &brand.description}, {"--copyright", &brand.copyright}};
  for (const auto& [name, field] : texts) {
    if (t.option != name) continue;
    if (*field) throw usage_error(t.option + " given twice");
    *field = t.value;
    return true;
  }
  if (t.option == "--version") {
    if (brand.version) throw usage_error("--version given twice");
    brand.version = parse_version_text(t.value);
    brand.version_text = t.value;
  } else if (t.option == "--icon") {
    if (!brand.icon.empty()) throw usage_error("--icon given twice");
    if (t.value.empty()) throw usage_error("--icon is empty");
    brand.icon = t.value;
  } else {
    return false;
  }
  return true;
}

// How the command line's texts become the package's bytes.
struct text_rules {
  bool escaped = false;
  std::optional<unsigned> code_page;
};

// `given` (UTF-8) as the package stores it: converted to the code page, or refused when it is not
// ASCII and no code page is given; then unescaped under --escaped. `what` names the text in
// messages, e.g. "--value \"k=v\": the key".
std::string package_text(const std::string& given, const text_rules& rules, const std::string& what) {
  std::string text = given;
  if (rules.code_page) {
    try {
      text = utf8_to_code_page(given, *rules.code_page);
    } catch (const conversion_error& e) {
      if (e.what_kind == conversion_error::kind::invalid_input)
        throw usage_error(what + " is not UTF-8; give its bytes with --escaped and \\xNN");
      throw usage_error(what + " " + quoted_utf8(given) + ": " + e.what());
    }
  } else if (!is_ascii(given)) {
    throw usage_error(what + " " + quoted_utf8(given) +
                      " is not ASCII: give --codepage CP, the ANSI code page of the machines that run the "
                      "package (e.g. 1252), or its bytes with --escaped and \\xNN");
  }
  if (!rules.escaped) return text;
  try {
    return unescape_text(text);
  } catch (const std::invalid_argument& e) {
    throw usage_error(what + ": " + e.what());
  }
}

entry_source parse_entry(const token& t, const text_rules& rules) {
  const std::size_t equals = t.value.find('=');
  if (equals == std::string::npos) {
    const char* form = t.option == "--file" ? "KEY[:NAME]=PATH" : t.option == "--value" ? "KEY=VALUE" : "KEY=PATH";
    throw usage_error(t.option + " needs " + form + ", got " + quoted_utf8(t.value));
  }
  const std::string what = t.option + " " + quoted_utf8(t.value) + ": the ";
  entry_source source;
  std::string key = t.value.substr(0, equals);
  const std::string rest = t.value.substr(equals + 1);
  if (t.option == "--value") {
    source.kind = entry_source::type::value;
    source.value = package_text(rest, rules, what + "value");
  } else {
    if (rest.empty()) throw usage_error(t.option + " " + quoted_utf8(t.value) + ": PATH is empty");
    source.path = rest;
    source.kind = t.option == "--file" ? entry_source::type::file : entry_source::type::value_file;
    if (source.kind == entry_source::type::file) {
      const std::size_t colon = key.find(':');
      if (colon != std::string::npos) {
        source.name = package_text(key.substr(colon + 1), rules, what + "stored name");
        key.resize(colon);
      } else {
        // The base name of a path is never unescaped, as paths are not.
        source.name = package_text(base_name(rest, path_separators()), text_rules{false, rules.code_page},
                                   what + "stored name (the base name of PATH)");
      }
    }
  }
  source.key = package_text(key, rules, what + "key");
  return source;
}

// Refuses a package that the stub would not run, judged by verify on its preview; warns about what
// it would run, but perhaps not as meant.
void check_launch(const create_request& request, std::ostream& err) {
  const std::string preview = preview_package(request);
  memory_source source(preview);
  const verification verified = verify_package(source, request.output_path, example_temp_folder, request.code_page);
  if (!verified.passes()) throw failure("the stub would not run the package: " + verified.problems.front());
  for (const std::string& warning : create_warnings(request, verified))
    err << "tailpack: warning: " << warning << '\n';
}

int run_create(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  create_request request = parse_create(args);
  if (request.stub_path.empty()) request.stub_path = installed_stub_path();
  check_output_is_no_input(request);
  read_value_files(request);
  std::vector<std::string> warnings;
  request.stub_image = prepare_stub(request, warnings);
  for (const std::string& warning : warnings) err << "tailpack: warning: " << warning << '\n';
  const std::vector<package_entry> entries = load_entries(request);  // names and sizes, before any data is read
  if (!request.unchecked_launch) check_launch(request, err);
  const create_summary summary = create_package(request, entries);
  if (summary.size >= largest_signable)
    err << "tailpack: warning: " << request.output_path << " is 4 GiB or more: Authenticode cannot sign it\n";
  out << "wrote " << request.output_path << ": " << summary.size << " bytes, " << summary.entries << " entries\n";
  return exit_ok;
}

}  // namespace

const command create_command = {"create", help, options, run_create};

create_request parse_create(const std::vector<std::string>& args) {
  const std::vector<token> tokens = tokenize(args, options);
  const text_rules rules{has_option(tokens, "--escaped"), code_page_option(tokens)};
  create_request request;
  request.code_page = rules.code_page;
  bool stub_given = false, output_given = false;
  for (const token& t : tokens) {
    if (t.option.empty()) throw usage_error("unexpected argument " + quoted_utf8(t.value));
    if (parse_brand_option(t, request.brand)) continue;
    if (t.option == "--stub") {
      set_once(request.stub_path, stub_given, t);
      if (request.stub_path.empty()) throw usage_error("--stub is empty");
    } else if (t.option == "--output") {
      set_once(request.output_path, output_given, t);
    } else if (t.option == "--stub-name") {
      set_once(request.stub_name, request.stub_name_given, t);
      request.stub_name = package_text(request.stub_name, rules, "--stub-name");
    } else if (t.option == "--unchecked-names") {
      request.unchecked_names = true;
    } else if (t.option == "--unchecked-launch") {
      request.unchecked_launch = true;
    } else if (t.option == "--strip-signature") {
      request.strip_signature = true;
    } else if (t.option == "--value" || t.option == "--value-file" || t.option == "--file") {
      request.entries.push_back(parse_entry(t, rules));
    }
  }
  if (!output_given || request.output_path.empty()) throw usage_error("--output is missing");
  if (stub_given && !request.stub_name_given) {
    request.stub_name = package_text(base_name(request.stub_path, path_separators()),
                                     text_rules{false, rules.code_page}, "--stub: the base name of STUB");
    request.stub_name_given = true;
  }
  return request;
}

}  // namespace tailpack
