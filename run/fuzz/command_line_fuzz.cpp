// libFuzzer target: the command-line split, the parameter assembly and the MSI log option over
// texts taken from the input: the command line, the package's "parameters" and "msilog", and the
// working folder, separated by '\n'. Built by the `fuzz` preset, run by scripts/fuzz.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/command_line.h"
#include "run/launch_plan.h"

using namespace tailrun;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::string> fields(const std::string& bytes, std::size_t count) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (out.size() + 1 < count) {
    const std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) break;
    out.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  out.push_back(start <= bytes.size() ? bytes.substr(start) : std::string());
  out.resize(count);
  return out;
}

bool has_v_option(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '/' && (text[i + 1] == 'V' || text[i + 1] == 'v')) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> in = fields(std::string(reinterpret_cast<const char*>(data), size), 4);
  const std::string& command_line = in[0];
  const std::string working_folder = in[3] + "\\";

  settings_map settings;
  const std::string v_text = split_command_line(command_line, settings);
  const std::string commandline = settings["commandline"];
  check(commandline.size() + v_text.size() <= command_line.size());
  if (!has_v_option(command_line)) check(commandline == command_line && v_text.empty());
  check(is_silent(command_line) == (command_line.find("/s") != std::string::npos));

  settings["parameters"] = in[1];
  settings["msilog"] = in[2];
  assemble_parameters(settings, v_text);
  const std::string assembled = settings["parameters"];
  check(assembled.compare(0, commandline.size() + 1, commandline + " ") == 0);
  check(assembled.size() >= commandline.size() + 1 + in[1].size() + v_text.size());

  const std::string base = base_folder_of(working_folder);
  const std::optional<std::string> log = msi_log_path(settings, base);
  check(log.has_value() == (in[2] == "ON"));
  if (log) {
    check(*log == base + "\\QVNEX_msi.log.txt");
    apply_msi_log_option(settings, *log);
    check(settings["parameters"].find(*log) != std::string::npos);
  }

  // The same steps as the stub composes them, then the launch plan with placeholders expanded.
  settings_map composed;
  const std::string v = prepare_settings(composed, working_folder, command_line);
  check(v == v_text);
  composed.insert_if_absent("parameters", in[1]);
  composed.insert_if_absent("msilog", in[2]);
  compose_parameters(composed, working_folder, v, [](const std::string&) { return true; });
  check(composed["parameters"] == settings["parameters"]);
  check(plan_launch(composed, working_folder).file == working_folder);  // no "executable32"
  return 0;
}
