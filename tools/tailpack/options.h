// The option parser that every tailpack command shares, and the exit statuses.
#pragma once
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tailpack {

// Exit status: success; the operation failed or the package is not accepted; the command line is wrong.
constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

// A command line that tailpack does not understand; the message is one line.
class usage_error : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The options that one command knows ("--name"); "--help" is always known.
struct option_set {
  std::vector<std::string> with_value;  // options that take a value
  std::vector<std::string> flags;       // options that take none
};

// One parsed argument: an option (name, and its value when it takes one) or a positional one.
struct token {
  std::string option;  // "--value"; empty for a positional argument
  std::string value;
};

// Splits `args` into options and positional arguments, in order. "--name=value" and "--name value"
// are both accepted for options that take a value; "-h" is "--help"; "--" ends the options.
// Throws usage_error for an unknown option, a missing value or a value given to a flag.
std::vector<token> tokenize(const std::vector<std::string>& args, const option_set& options);

bool has_option(const std::vector<token>& tokens, const std::string& option);

// The positional arguments of a command that takes exactly `names`. Throws usage_error.
std::vector<std::string> positionals(const std::vector<token>& tokens, const std::vector<std::string>& names);

// Stores an option's value that may be given once. Throws usage_error the second time.
void set_once(std::string& target, bool& given, const token& t);

// The code page of "--codepage CP", a Windows code page number from 1 to 65535; none when the
// option is absent. Throws usage_error for any other text, a code page that this system cannot
// convert, or the option given twice.
std::optional<unsigned> code_page_option(const std::vector<token>& tokens);

// The temporary folder assumed unless --temp-folder gives another: a typical user's.
extern const char example_temp_folder[];

// "--temp-folder PATH", a Windows path (backslashes), or example_temp_folder when absent. Throws
// usage_error for an empty path, one with '/', or the option given twice.
std::string temp_folder_option(const std::vector<token>& tokens);

}  // namespace tailpack
