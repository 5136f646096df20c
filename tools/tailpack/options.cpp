#include "tools/tailpack/options.h"

#include "tools/tailpack/codepage.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

bool is_one_of(const std::string& option, const std::vector<std::string>& names) {
  for (const std::string& name : names)
    if (name == option) return true;
  return false;
}

}  // namespace

std::vector<token> tokenize(const std::vector<std::string>& args, const option_set& options) {
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
    const bool is_flag = name == "--help" || is_one_of(name, options.flags);
    if (is_one_of(name, options.with_value)) {
      if (equals != std::string::npos) {
        tokens.push_back(token{name, arg.substr(equals + 1)});
      } else if (i + 1 < args.size()) {
        tokens.push_back(token{name, args[++i]});
      } else {
        throw usage_error(name + " needs a value");
      }
    } else if (is_flag && equals == std::string::npos) {
      tokens.push_back(token{name, ""});
    } else if (is_flag) {
      throw usage_error(name + " takes no value");
    } else {
      throw usage_error("unknown option " + name);
    }
  }
  return tokens;
}

bool has_option(const std::vector<token>& tokens, const std::string& option) {
  for (const token& t : tokens)
    if (t.option == option) return true;
  return false;
}

std::vector<std::string> positionals(const std::vector<token>& tokens, const std::vector<std::string>& names) {
  std::vector<std::string> values;
  for (const token& t : tokens)
    if (t.option.empty()) values.push_back(t.value);
  if (values.size() < names.size()) throw usage_error(names[values.size()] + " is missing");
  if (values.size() > names.size()) throw usage_error("unexpected argument " + quoted(values[names.size()]));
  return values;
}

void set_once(std::string& target, bool& given, const token& t) {
  if (given) throw usage_error(t.option + " given twice");
  target = t.value;
  given = true;
}

std::optional<unsigned> code_page_option(const std::vector<token>& tokens) {
  std::string text;
  bool given = false;
  for (const token& t : tokens)
    if (t.option == "--codepage") set_once(text, given, t);
  if (!given) return std::nullopt;
  const bool digits = !text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos;
  const unsigned long number = digits ? std::stoul(text) : 0;
  if (number < 1 || number > 65535)
    throw usage_error("--codepage needs a Windows code page number such as 1252, got " + quoted(text));
  try {
    encode_with_platform("A", static_cast<unsigned>(number));
  } catch (const conversion_error& e) {
    throw usage_error(std::string("--codepage: ") + e.what());
  }
  return static_cast<unsigned>(number);
}

const char example_temp_folder[] = "C:\\Users\\user\\AppData\\Local\\Temp";

std::string temp_folder_option(const std::vector<token>& tokens) {
  std::string folder = example_temp_folder;
  bool given = false;
  for (const token& t : tokens)
    if (t.option == "--temp-folder") set_once(folder, given, t);
  if (folder.empty()) throw usage_error("--temp-folder is empty");
  if (folder.find('/') != std::string::npos)
    throw usage_error("--temp-folder needs a Windows path with backslashes, got " + quoted(folder));
  return folder;
}

}  // namespace tailpack
