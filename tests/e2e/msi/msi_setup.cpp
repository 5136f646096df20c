// The setup program of the end-to-end scenarios' MSI: it wraps "probe.msi" (beside its own file)
// the way MSI setup programs do and runs "msiexec /i <that file>" with its own command line
// translated, word by word (words are separated by blanks; quotation marks keep blanks in a word):
//   /s, /S       become /qn
//   /V"TEXT"     TEXT, with each \" read as ", goes to msiexec as it is (properties and
//                msiexec options); /v counts too, and the bare form /VTEXT ends at the next blank
//   /L<digits>   the setup's language: not passed on, recorded in the report
//   other words  pass through unchanged
// It exits with msiexec's exit code (1 when msiexec cannot be started, 258 when it has not ended
// after five minutes and was ended here). Its report, one "name<TAB>value" line per field
// (report_text.h), goes to the file named by the environment variable TAILRUN_E2E_REPORT, or else
// to "msi_setup.report.txt" in the temporary folder: "language" (the /L digits, empty without
// one), "msiexec" (the command line it started) and "exit".
#include <fstream>
#include <map>
#include <string>

#include "support/handle.h"
#include "support/windows.h"
#include "tests/e2e/report_text.h"

namespace {

constexpr const char* package_name = "probe.msi";
// msiexec is bounded here too, beyond the runner's own time-out, so that no wait is unbounded.
constexpr DWORD msiexec_timeout_ms = 300000;
constexpr DWORD launch_failed = 1;

struct translation {
  std::string msiexec_arguments;
  std::string language;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string module_folder() {
  char buffer[MAX_PATH * 4] = {};
  const std::string path(buffer, GetModuleFileNameA(nullptr, buffer, sizeof buffer));
  return path.substr(0, path.find_last_of('\\') + 1);
}

// The command line after the program's name.
std::string own_arguments() {
  const std::string line = GetCommandLineA();
  std::size_t end = 0;
  if (!line.empty() && line[0] == '"') {
    end = line.find('"', 1);
    end = end == std::string::npos ? line.size() : end + 1;
  } else {
    while (end < line.size() && !is_blank(line[end])) ++end;
  }
  return line.substr(end);
}

// The text of a quoted /V option that starts at `open` (just past its opening quotation mark);
// `end` becomes the position just past the closing one (or the end of `line`).
std::string quoted_v_text(const std::string& line, std::size_t open, std::size_t& end) {
  std::string text;
  std::size_t i = open;
  for (; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') ++i;
    text += line[i];
  }
  end = i < line.size() ? i + 1 : i;
  return text;
}

// The word that starts at `start`: up to the next blank outside quotation marks.
std::size_t word_end(const std::string& line, std::size_t start) {
  bool quoted = false;
  std::size_t i = start;
  for (; i < line.size() && (quoted || !is_blank(line[i])); ++i) {
    if (line[i] == '"') quoted = !quoted;
  }
  return i;
}

bool is_language_option(const std::string& word) {
  return word.size() > 2 && word.compare(0, 2, "/L") == 0 &&
         word.find_first_not_of("0123456789", 2) == std::string::npos;
}

translation translate(const std::string& line) {
  translation out;
  auto append = [&out](const std::string& text) {
    if (text.empty()) return;
    if (!out.msiexec_arguments.empty()) out.msiexec_arguments += ' ';
    out.msiexec_arguments += text;
  };
  std::size_t i = 0;
  while (i < line.size()) {
    if (is_blank(line[i])) {
      ++i;
      continue;
    }
    const bool v_option = line.size() - i >= 2 && line[i] == '/' && (line[i + 1] == 'V' || line[i + 1] == 'v');
    if (v_option && i + 2 < line.size() && line[i + 2] == '"') {
      append(quoted_v_text(line, i + 3, i));
      continue;
    }
    const std::size_t end = word_end(line, i);
    const std::string word = line.substr(i, end - i);
    i = end;
    if (v_option) {
      append(word.substr(2));
    } else if (word == "/s" || word == "/S") {
      append("/qn");
    } else if (is_language_option(word)) {
      out.language = word.substr(2);
    } else {
      append(word);
    }
  }
  return out;
}

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

std::string msiexec_path() {
  char buffer[MAX_PATH] = {};
  const UINT size = GetSystemDirectoryA(buffer, sizeof buffer);
  return std::string(buffer, size < sizeof buffer ? size : 0) + "\\msiexec.exe";
}

// Runs msiexec with `command_line`; its exit code, or launch_failed.
DWORD run_msiexec(std::string command_line) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const std::string program = msiexec_path();
  if (!CreateProcessA(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return launch_failed;
  }
  const tessel::unique_handle process_handle(process.hProcess);
  const tessel::unique_handle thread_handle(process.hThread);
  if (WaitForSingleObject(process_handle.get(), msiexec_timeout_ms) != WAIT_OBJECT_0) {
    TerminateProcess(process_handle.get(), WAIT_TIMEOUT);
    return WAIT_TIMEOUT;
  }
  DWORD exit_code = launch_failed;
  GetExitCodeProcess(process_handle.get(), &exit_code);
  return exit_code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const translation translated = translate(own_arguments());
  std::string command_line = "msiexec.exe /i \"" + module_folder() + package_name + '"';
  if (!translated.msiexec_arguments.empty()) command_line += ' ' + translated.msiexec_arguments;
  const DWORD exit_code = run_msiexec(command_line);
  write_report({{"language", translated.language}, {"msiexec", command_line}, {"exit", std::to_string(exit_code)}});
  return static_cast<int>(exit_code);
}
