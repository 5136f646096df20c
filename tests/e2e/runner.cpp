// Runs one program for the end-to-end scenarios and reports its full 32-bit exit code, which a
// Linux shell cannot see (it gets only the low 8 bits from Wine).
//
//   e2e_runner [--temp DIR] [--cwd DIR] [--set NAME=VALUE]... [--timeout-ms N]
//              [--args TEXT | --args-file FILE] PROGRAM
//       Starts PROGRAM with the command line "\"PROGRAM\" TEXT" (just "\"PROGRAM\"" for no TEXT;
//       --args-file takes TEXT from a UTF-8 file) and an environment in which TEMP and TMP
//       are DIR and each NAME is VALUE, in the current folder given by --cwd (default: the
//       runner's own). Waits at most N milliseconds (default 60000). Prints
//       "exit=<code>" (unsigned decimal) and returns 0 when the program ended; otherwise kills it
//       together with every process it started, prints "timeout" and returns 4.
//   e2e_runner --set-event NAME
//       Sets the existing named event NAME; returns 0, or 5 when there is no such event.
//
// Returns 2 for a usage error and 3 when the program cannot be started.
#include <algorithm>
#include <cwchar>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/handle.h"
#include "support/wide_path.h"
#include "support/windows.h"

#include <shellapi.h>

namespace {

constexpr int usage_error = 2;
constexpr int launch_failed = 3;
constexpr int timed_out = 4;
constexpr int no_such_event = 5;
constexpr DWORD default_timeout_ms = 60000;
// The exit code given to processes that are killed at the time-out.
constexpr UINT killed_exit_code = 0xDEAD;

struct run_request {
  std::string program;
  std::string arguments;
  std::string temp;
  std::string current_folder;
  std::vector<std::pair<std::string, std::string>> variables;
  DWORD timeout_ms = default_timeout_ms;
  std::string event_to_set;
};

bool read_whole_file(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool split_assignment(const std::string& text, std::pair<std::string, std::string>& variable) {
  const std::size_t equals = text.find('=');
  if (equals == 0 || equals == std::string::npos) return false;
  variable = {text.substr(0, equals), text.substr(equals + 1)};
  return true;
}

// Fills `request` from the arguments; false (after a message) on a usage error.
bool parse_arguments(const std::vector<std::string>& argv, run_request& request) {
  const std::size_t argc = argv.size();
  for (std::size_t i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool has_value = i + 1 < argc;
    if (option.rfind("--", 0) != 0) {
      if (i + 1 != argc) break;
      request.program = option;
      return true;
    }
    if (!has_value) break;
    const std::string value = argv[++i];
    if (option == "--temp") {
      request.temp = value;
    } else if (option == "--cwd") {
      request.current_folder = value;
    } else if (option == "--set") {
      std::pair<std::string, std::string> variable;
      if (!split_assignment(value, variable)) break;
      request.variables.push_back(variable);
    } else if (option == "--timeout-ms") {
      request.timeout_ms = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (option == "--args") {
      request.arguments = value;
    } else if (option == "--args-file") {
      if (!read_whole_file(value, request.arguments)) {
        std::fprintf(stderr, "e2e_runner: cannot read %s\n", value.c_str());
        return false;
      }
    } else if (option == "--set-event") {
      request.event_to_set = value;
      return i + 1 == argc;
    } else {
      break;
    }
  }
  std::fprintf(stderr, "usage: e2e_runner [--temp DIR] [--cwd DIR] [--set NAME=VALUE]... [--timeout-ms N] "
                       "[--args TEXT | --args-file FILE] PROGRAM\n"
                       "       e2e_runner --set-event NAME\n");
  return false;
}

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The name of an environment entry; entries such as "=C:=C:\dir" keep their leading '='.
std::string variable_name(const std::string& entry) {
  const std::size_t equals = entry.find('=', 1);
  return entry.substr(0, equals);
}

std::vector<std::string> inherited_environment() {
  std::unique_ptr<wchar_t, decltype(&FreeEnvironmentStringsW)> block(GetEnvironmentStringsW(),
                                                                      &FreeEnvironmentStringsW);
  std::vector<std::string> entries;
  for (const wchar_t* entry = block.get(); entry && *entry; entry += wcslen(entry) + 1) {
    entries.push_back(tessel::from_wide(entry, wcslen(entry)));
  }
  return entries;
}

// The inherited environment with TEMP, TMP and the requested variables replaced, as a sorted
// environment block (entries ending with a zero, and one more zero at the end).
std::string environment_block(const run_request& request) {
  std::vector<std::pair<std::string, std::string>> replaced = request.variables;
  if (!request.temp.empty()) {
    replaced.emplace_back("TEMP", request.temp);
    replaced.emplace_back("TMP", request.temp);
  }
  std::vector<std::string> entries;
  for (const std::string& entry : inherited_environment()) {
    const std::string name = upper(variable_name(entry));
    const bool is_replaced = std::any_of(replaced.begin(), replaced.end(),
                                         [&](const auto& v) { return upper(v.first) == name; });
    if (!is_replaced) entries.push_back(entry);
  }
  for (const auto& [name, value] : replaced) entries.push_back(name + '=' + value);
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return upper(variable_name(a)) < upper(variable_name(b));
  });
  std::string block;
  for (const std::string& entry : entries) block.append(entry).push_back('\0');
  block.push_back('\0');
  return block;
}

// A job that kills every process in it when its handle closes, so nothing a run started
// outlives the runner.
tessel::unique_handle make_kill_on_close_job() {
  tessel::unique_handle job(CreateJobObjectA(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
  return job;
}

int run_program(const run_request& request) {
  std::string command_line = '"' + request.program + '"';
  if (!request.arguments.empty()) command_line += ' ' + request.arguments;
  std::wstring wide_command_line = tessel::wide(command_line);
  std::wstring environment = tessel::wide(environment_block(request));
  const std::wstring program = tessel::wide(request.program), folder = tessel::wide(request.current_folder);
  const tessel::unique_handle job = make_kill_on_close_job();

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), &wide_command_line[0], nullptr, nullptr, FALSE,
                      CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, &environment[0],
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    std::printf("launch-failed=%lu\n", GetLastError());
    return launch_failed;
  }
  const tessel::unique_handle process_handle(process.hProcess);
  const tessel::unique_handle thread_handle(process.hThread);
  if (job) AssignProcessToJobObject(job.get(), process_handle.get());
  ResumeThread(thread_handle.get());

  if (WaitForSingleObject(process_handle.get(), request.timeout_ms) != WAIT_OBJECT_0) {
    if (job) TerminateJobObject(job.get(), killed_exit_code);
    TerminateProcess(process_handle.get(), killed_exit_code);
    std::printf("timeout\n");
    return timed_out;
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process_handle.get(), &exit_code);
  std::printf("exit=%lu\n", exit_code);
  return 0;
}

int set_event(const std::string& name) {
  const tessel::unique_handle event(OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str()));
  if (!event || !SetEvent(event.get())) {
    std::printf("no-event=%lu\n", GetLastError());
    return no_such_event;
  }
  return 0;
}

}  // namespace

// The arguments are read wide, so that paths and texts in any characters pass unchanged.
int main() {
  int count = 0;
  std::unique_ptr<wchar_t*, decltype(&LocalFree)> wide_arguments(CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  std::vector<std::string> arguments;
  for (int i = 0; wide_arguments && i < count; ++i)
    arguments.push_back(tessel::from_wide(wide_arguments.get()[i], wcslen(wide_arguments.get()[i])));
  run_request request;
  if (!parse_arguments(arguments, request)) return usage_error;
  const int result = request.event_to_set.empty() ? run_program(request) : set_event(request.event_to_set);
  std::fflush(stdout);
  return result;
}
