#include "driver/run.h"

#include <shellapi.h>

#include <cstdint>
#include <ctime>
#include <memory>

#include "diagnostics/log.h"
#include "diagnostics/log_file.h"
#include "driver/command_line.h"
#include "driver/config.h"
#include "driver/language_registry.h"
#include "driver/launch_plan.h"
#include "driver/remove_folder.h"
#include "driver/working_folder.h"
#include "package/extract.h"
#include "support/handle.h"
#include "support/message_box.h"
#include "support/mutex.h"

namespace {

constexpr int run_failed = 1;

// The state of one run, held for its whole length.
struct run_state {
  std::string working_folder;
  std::string v_text;
  settings_map settings;
  bool log_ready = false;
  bool silent = false;
  std::unique_ptr<tessel::real_mutex> guard;
  std::uint32_t exit_code = 0;
};

// The temporary folder as GetTempPathA reports it (ending with a backslash), or empty.
std::string temporary_folder() {
  std::string path(MAX_PATH, '\0');
  DWORD length = GetTempPathA(static_cast<DWORD>(path.size()), &path[0]);
  if (length > path.size()) {  // longer than MAX_PATH: ask again with the room it needs
    path.assign(length, '\0');
    length = GetTempPathA(static_cast<DWORD>(path.size()), &path[0]);
    if (length >= path.size()) length = 0;
  }
  path.resize(length);
  return path;
}

// Attaches the log file Tailrun.log.txt in the temporary folder (relative to the current folder
// when there is none). True when the log is ready; every failure is dropped and the run goes on
// without a log.
bool set_up_log() {
  try {
    auto log_file = std::make_unique<tessel::log::file>(temporary_folder() + "Tailrun");
    tessel::log::attach(log_file.get());
    log_file.release();  // owned by the front end from here on
    return true;
  } catch (...) {
    return false;
  }
}

// The lines just before the launch: what exactly is started.
void write_launch_log(const std::string& file, const std::string& parameters) {
  tessel::log::write_line(std::string());
  tessel::log::write_line(config::product());
  tessel::log::write_linef("File: %s", file.c_str());
  tessel::log::write_linef("Parameters: %s", parameters.c_str());
  tessel::log::write_line(std::string());
}

// The "/L" language option from the installed product's registry entry; never stops the run.
std::string apply_installer_language(const std::string& parameters) {
  return ::apply_installer_language(parameters, config::product(), config::family());
}

// The program's own file; grows the buffer for paths longer than MAX_PATH.
std::string module_path() {
  for (DWORD size = MAX_PATH;; size *= 2) {
    std::string path(size, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, &path[0], size);
    if (length < size || size >= 32768) {
      path.resize(length < size ? length : 0);
      return path;
    }
  }
}

// The first working folder number: the low 32 bits of the calendar time in seconds, as a signed
// number.
std::int32_t working_folder_number() {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(_time64(nullptr)));
}

// Only a file is launched: an empty "executable32" names the working folder itself, and the shell
// would open a folder in its file browser (elevated, and under Wine never ending).
bool names_a_file(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Takes the single-instance guard; false when another run holds it.
bool acquire_guard(run_state& state) {
  state.guard = std::make_unique<tessel::real_mutex>("Quorvane.Installation");
  return state.guard->try_acquire(0);
}

// Launches the installer and waits for it; sets the exit code (1 on failure, after a message).
void launch_and_wait(run_state& state, const std::string& file, const std::string& parameters,
                     const std::string& directory) {
  SHELLEXECUTEINFOA launch{};
  launch.cbSize = sizeof launch;
  // A silent run must not wait on the shell's own error dialog either.
  launch.fMask = SEE_MASK_NOCLOSEPROCESS | (state.silent ? SEE_MASK_FLAG_NO_UI : 0);
  launch.lpFile = file.c_str();
  launch.lpParameters = parameters.c_str();
  launch.lpDirectory = directory.c_str();
  launch.nShow = SW_SHOWNORMAL;
  if (!names_a_file(file) || !ShellExecuteExA(&launch)) {
    tessel::message_box(state.silent, "ShellExecuteEx failed", "Unable to spawn process");
    state.exit_code = run_failed;
    return;
  }
  const tessel::unique_handle process(launch.hProcess);
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
    tessel::message_box(state.silent, "WaitForSingleObject failed", "Unable to wait for process");
    state.exit_code = run_failed;
    return;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) {
    tessel::message_box(state.silent, "GetExitCodeProcess failed", "Unable to get process exit code");
    state.exit_code = run_failed;
    return;
  }
  state.exit_code = code;
}

// Steps from the single-instance guard to the clean-up. Exceptions reach the outer guard.
int guarded_run(run_state& state, HINSTANCE instance, const std::string& command_line) {
  state.silent = is_silent(command_line);
  config::init(instance);  // product and family names; throws to the outer guard
  if (!acquire_guard(state)) {
    tessel::message_box(state.silent, "Already Running",
                        "Another installation is already running or in the process of starting up.\n"
                        "Please wait until the other installation has completed before trying again.");
    return run_failed;
  }

  std::string temp = temporary_folder();
  if (temp.empty()) {
    tessel::message_box(state.silent, "GetTempPath failed", "Unable to get Temporary Directory");
    temp = "C:\\Temp\\";
  }
  CreateDirectoryA(temp.c_str(), nullptr);
  // Always a folder this run created, never one found in place.
  state.working_folder = create_working_folder(temp, working_folder_number());
  if (state.working_folder.empty() || !SetCurrentDirectoryA(state.working_folder.c_str())) {
    tessel::message_box(state.silent, "SetCurrentDirectory failed", "Unable to set Working Directory");
    return run_failed;
  }

  state.v_text = prepare_settings(state.settings, state.working_folder, command_line);
  const bool accepted = extract_package(module_path(), state.working_folder, state.silent, state.settings);
  // Clears a read-only attribute that an earlier run's installer log may carry.
  compose_parameters(state.settings, state.working_folder, state.v_text,
                     [](const std::string& log) { SetFileAttributesA(log.c_str(), FILE_ATTRIBUTE_NORMAL); });

  if (!accepted) {
    tessel::message_box(state.silent, "Invalid Archive!",
                        "We are sorry, but your installation / update did not complete due to unexpected "
                        "download errors.\r\nPlease download full version of the program");
    state.exit_code = run_failed;
  } else {
    launch_plan plan = plan_launch(state.settings, state.working_folder);
    plan.parameters = apply_installer_language(plan.parameters);
    if (state.log_ready) write_launch_log(plan.file, plan.parameters);
    launch_and_wait(state, plan.file, plan.parameters, plan.directory);
  }

  // Out of the working folder so that it can go; a bare drive ("X:") would name that drive's
  // current folder, so its root is used.
  SetCurrentDirectoryA(launch_directory(base_folder_of(state.working_folder)).c_str());
  remove_folder(state.working_folder);
  state.guard.reset();
  return static_cast<int>(state.exit_code);
}

}  // namespace

int run(HINSTANCE instance, const std::string& command_line) {
  run_state state;
  state.log_ready = set_up_log();
  int exit_code = run_failed;
  try {
    exit_code = guarded_run(state, instance, command_line);
  } catch (const std::exception& error) {
    state.guard.reset();
    tessel::message_box(state.silent, error.what(), "Unhandled Exception");
    exit_code = run_failed;
  } catch (...) {
    state.guard.reset();
    tessel::message_box(state.silent, "No context available", "Unhandled Exception");
    exit_code = run_failed;
  }
  tessel::log::shutdown();
  return exit_code;
}
