// Shared-log benchmark (Windows): several processes append lines to one log at the same time.
//   log_bench BASE_NAME PROCESSES LINES
//       starts PROCESSES copies of itself as writers, lets them all start writing at once and
//       prints the wall time from the start signal until the last writer ended, and the lines per
//       second.
//   log_bench --write BASE_NAME TAG LINES READY_SEMAPHORE START_EVENT
//       a writer: attaches the log, reports ready, waits for the start, then logs LINES lines
//       "TAG NNNNNN <filler>".
// Every wait is bounded (60 s). Exit codes: 0 done, 2 usage, 3 a writer failed or took too long.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/exception.h"
#include "diagnostics/log.h"
#include "diagnostics/log_file.h"
#include "support/handle.h"
#include "support/windows.h"

namespace {

constexpr DWORD wait_ms = 60000;
constexpr char filler[] = "abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz0123456789";

int write_lines(char** argv) {
  tessel::log::attach(new tessel::log::file(argv[2]));
  const int lines = std::atoi(argv[4]);
  const tessel::unique_handle ready(OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, argv[5]));
  const tessel::unique_handle start(OpenEventA(SYNCHRONIZE, FALSE, argv[6]));
  if (!ready || !start) return 3;
  ReleaseSemaphore(ready.get(), 1, nullptr);
  if (WaitForSingleObject(start.get(), wait_ms) != WAIT_OBJECT_0) return 3;
  for (int i = 0; i < lines; ++i) tessel::log::write_linef("%s %06d %s", argv[3], i, filler);
  tessel::log::shutdown();
  return 0;
}

int run(char** argv) {
  const int processes = std::atoi(argv[2]);
  const int lines = std::atoi(argv[3]);
  if (processes < 1 || processes > 64 || lines < 0) return 2;
  const std::string suffix = std::to_string(GetCurrentProcessId());
  const std::string ready_name = "tailrun-log-bench-ready-" + suffix, start_name = "tailrun-log-bench-start-" + suffix;
  const tessel::unique_handle ready(CreateSemaphoreA(nullptr, 0, processes, ready_name.c_str()));
  const tessel::unique_handle start(CreateEventA(nullptr, TRUE, FALSE, start_name.c_str()));
  char own[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, own, MAX_PATH);

  std::vector<tessel::unique_handle> writers;
  for (int i = 0; i < processes; ++i) {
    std::string command = "\"" + std::string(own) + "\" --write \"" + argv[1] + "\" W" + std::to_string(i) + " " +
                          argv[3] + " " + ready_name + " " + start_name;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return 3;
    CloseHandle(info.hThread);
    writers.emplace_back(info.hProcess);
  }
  for (int i = 0; i < processes; ++i) {
    if (WaitForSingleObject(ready.get(), wait_ms) != WAIT_OBJECT_0) return 3;
  }
  LARGE_INTEGER frequency, begin, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&begin);
  SetEvent(start.get());
  for (const auto& writer : writers) {
    DWORD code = 1;
    if (WaitForSingleObject(writer.get(), wait_ms) != WAIT_OBJECT_0 || !GetExitCodeProcess(writer.get(), &code) ||
        code != 0) {
      return 3;
    }
  }
  QueryPerformanceCounter(&end);
  const double seconds = double(end.QuadPart - begin.QuadPart) / double(frequency.QuadPart);
  std::printf("%d processes x %d lines: %.3f s, %.0f lines/s\n", processes, lines, seconds,
              processes * lines / seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 7 && std::string(argv[1]) == "--write") return write_lines(argv);
    if (argc == 4) return run(argv);
  } catch (const tessel::exception& e) {
    std::fprintf(stderr, "log_bench: %s\n", e.what());
    return 3;
  }
  std::fprintf(stderr, "usage: log_bench BASE_NAME PROCESSES LINES\n");
  return 2;
}
