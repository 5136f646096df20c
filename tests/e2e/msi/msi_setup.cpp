// The setup program of the end-to-end scenarios' MSI: TailrunMsiSetup's translation and launch
// (msi_setup/), for "probe.msi" beside its own file, with a report of what it did. It exits with
// msiexec's exit code (1 when msiexec cannot be started, 258 when it has not ended after five
// minutes and was ended here). Its report, one "name<TAB>value" line per field
// (report_text.h), goes to the file named by the environment variable TAILRUN_E2E_REPORT, or else
// to "msi_setup.report.txt" in the temporary folder: "language" (the /L digits, empty without
// one), "msiexec" (the command line it started) and "exit".
#include <fstream>
#include <map>
#include <string>

#include "msi_setup/msi_arguments.h"
#include "msi_setup/msiexec.h"
#include "support/windows.h"
#include "tests/e2e/report_text.h"

namespace {

constexpr const char* package_name = "probe.msi";
// msiexec is bounded here too, beyond the runner's own time-out, so that no wait is unbounded.
constexpr unsigned long msiexec_timeout_ms = 300000;

std::string report_path() {
  char buffer[MAX_PATH * 4] = {};
  DWORD size = GetEnvironmentVariableA("TAILRUN_E2E_REPORT", buffer, sizeof buffer);
  if (size > 0 && size < sizeof buffer) return std::string(buffer, size);
  size = GetTempPathA(sizeof buffer, buffer);
  return std::string(buffer, size < sizeof buffer ? size : 0) + "msi_setup.report.txt";
}

void write_report(const std::map<std::string, std::string>& fields) {
  std::ofstream out(report_path(), std::ios::binary | std::ios::trunc);
  for (const auto& [name, value] : fields) out << name << '\t' << e2e::escape_field(value) << '\n';
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const msi_setup::msiexec_arguments translated = msi_setup::translate_setup_arguments(msi_setup::own_arguments());
  const std::string program = msi_setup::own_path();
  const std::string msi = program.substr(0, program.find_last_of('\\') + 1) + package_name;
  const std::string command_line = msi_setup::msiexec_command_line(msi, translated.arguments);
  const unsigned long exit_code = msi_setup::run_msiexec(command_line, msiexec_timeout_ms);
  write_report({{"language", translated.language}, {"msiexec", command_line}, {"exit", std::to_string(exit_code)}});
  return static_cast<int>(exit_code);
}
