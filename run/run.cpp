#include "run/run.h"

#include "run/command_line.h"
#include "run/extraction.h"
#include "run/folder_model.h"
#include "run/language.h"
#include "run/launch_plan.h"
#include "run/launch_target.h"
#include "run/messages.h"
#include "run/progress.h"
#include "run/reporter.h"
#include "run/working_folder.h"

namespace tailrun {

namespace {

constexpr int run_failed = 1;
// Where the working folder goes when the system has no temporary folder.
const char fallback_temporary_folder[] = "C:\\Temp\\";

// The first working folder number: the low 32 bits of the calendar time, as a signed number.
std::int32_t working_folder_number(std::int64_t seconds) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds)));
}

// A new working folder under the temporary folder, entered and marked as this run's; empty when
// none could be. In the system's own temporary folder (never the fallback), the folders of runs
// that ended without their clean-up go first.
std::string enter_working_folder(run_system& system, reporter& report) {
  std::string temp = system.temporary_folder();
  const bool fallback = temp.empty();
  if (fallback) {
    report.show(messages::no_temporary_folder);
    temp = fallback_temporary_folder;
  }
  system.create_folder(temp);
  const std::string name = create_first_free(working_folder_number(system.now()), [&](const std::string& candidate) {
    return system.create_private_folder(temp + candidate);
  });
  if (name.empty() || !system.set_current_folder(temp + name)) return std::string();
  system.claim_working_folder(temp + name);
  if (!fallback)
    for (const std::string& ended : system.remove_leftovers(temp)) system.log("Removed the folder of an ended run: " + ended);
  return temp + name;
}

// The "/L" option of the installed product's language in front of `parameters`; never fails.
std::string with_installer_language(run_system& system, const std::string& parameters) {
  try {
    const language_facts facts = system.read_language();
    const language_choice choice = choose_language(facts.installer_language, facts.us_uk_record, facts.system_language);
    if (choice.clear_user_language) system.clear_user_language();
    if (choice.log_uk_english) system.log(std::string("Install Language set to \"") + uk_english_language + "\"");
    return with_language_option(parameters, choice.language);
  } catch (...) {
    return parameters;
  }
}

// The lines just before the launch: what exactly is started.
void log_launch(run_system& system, const launch_request& launch) {
  system.log(std::string());
  system.log(system.product_name());
  system.log("File: " + launch.file);
  system.log("Parameters: " + launch.parameters);
  system.log(std::string());
}

// Launches the installer and waits for it; the exit code, or run_failed after a message.
int launch_and_wait(run_system& system, reporter& report, const launch_request& launch) {
  const launch_result result = system.launch(launch);
  switch (result.status) {
    case launch_status::exited:
      return static_cast<int>(result.exit_code);
    case launch_status::not_started:
      report.show(messages::spawn_failed);
      break;
    case launch_status::wait_failed:
      report.show(messages::wait_failed);
      break;
    case launch_status::no_exit_code:
      report.show(messages::no_exit_code);
      break;
  }
  return run_failed;
}

// Removes the run's working folder when the run leaves it, on every path, exceptions included:
// out of the folder first, so that it can go. Never throws.
class working_folder_owner {
 public:
  working_folder_owner(run_system& system, const std::string& folder) : system_(system), folder_(folder) {}
  ~working_folder_owner() {
    try {
      system_.release_working_folder();
      system_.set_current_folder(launch_directory(base_folder_of(folder_)));
      system_.remove_folder(folder_);
    } catch (...) {
      // What cannot be removed stays.
    }
  }
  working_folder_owner(const working_folder_owner&) = delete;
  working_folder_owner& operator=(const working_folder_owner&) = delete;

 private:
  run_system& system_;
  const std::string& folder_;
};

// Releases the single-instance guard when the run leaves, on every path, exceptions included (after
// the working folder has gone, whose owner lives inside). Releasing a guard the run does not hold
// does nothing. Never throws.
class single_instance_owner {
 public:
  explicit single_instance_owner(run_system& system) : system_(system) {}
  ~single_instance_owner() {
    try {
      system_.release_single_instance();
    } catch (...) {
      // Released with the process at the latest.
    }
  }
  single_instance_owner(const single_instance_owner&) = delete;
  single_instance_owner& operator=(const single_instance_owner&) = delete;

 private:
  run_system& system_;
};

// From the extraction to the launch's end, in the working folder, which goes on every way out.
int run_in_working_folder(run_system& system, reporter& report, const std::string& command_line, run_outcome& outcome,
                          settings_map* package_settings) {
  const std::string& working_folder = outcome.working_folder;
  const working_folder_owner owner(system, working_folder);
  settings_map settings;
  const std::string v_text = prepare_settings(settings, working_folder, command_line);
  folder_model folder(working_folder);
  const extraction_result extracted = extract_package(system, report, folder, settings, package_settings);
  outcome.walk = extracted.walk;
  if (extracted.unopened) outcome.stopped = run_stop::package_unopened;
  outcome.failed_file = extracted.failed_file;
  for (const folder_model::file& file : folder.files()) outcome.held.push_back(working_folder + file.name);
  if (extracted.cancelled) {  // the user's own choice: logged, not shown
    report.log(messages::cancelled);
    outcome.stopped = run_stop::cancelled;
    return cancelled_exit_code;
  }
  compose_parameters(settings, working_folder, v_text, [&](const std::string& log) {
    // The installer writes its properties (licence keys, passwords) to this log: only a file of
    // the run's own, which nobody else can read, is named. Made only for a package that launches.
    if (extracted.accepted) {
      const std::uint32_t error = system.create_private_log(log);
      if (error != 0) {
        system.log("Installer log not used: " + log + ": " + system.error_text(error));
        return false;
      }
    }
    outcome.msi_log = log;
    return true;
  });

  int exit_code = run_failed;
  if (!extracted.accepted) {
    report.show(messages::invalid_archive);
  } else {
    const launch_plan plan = plan_launch(settings, working_folder);
    outcome.executable = plan.file.substr(working_folder.size());
    const launch_decision target = decide_launch(folder, outcome.executable);
    outcome.launch = {target.file, with_installer_language(system, plan.parameters), plan.directory, report.silent()};
    outcome.launch_outside = target.outside;
    log_launch(system, outcome.launch);
    if (target.launches) {
      outcome.launched = true;
      exit_code = launch_and_wait(system, report, outcome.launch);
    } else {
      report.show(messages::spawn_failed);
      outcome.launch_problem = target.problem;
      outcome.launch_detail = target.detail;
    }
  }
  return exit_code;
}

// From the configuration to the clean-up; exceptions go to the outer guard.
int guarded_run(run_system& system, reporter& report, const std::string& command_line, run_outcome& outcome,
                settings_map* package_settings) {
  const single_instance_owner guard(system);
  system.load_configuration();
  if (!system.acquire_single_instance()) {
    report.show(messages::already_running);
    outcome.stopped = run_stop::already_running;
    return run_failed;
  }
  outcome.working_folder = enter_working_folder(system, report);
  const std::string& working_folder = outcome.working_folder;
  if (working_folder.empty()) {
    report.show(messages::no_working_folder);
    outcome.stopped = run_stop::no_working_folder;
    return run_failed;
  }
  return run_in_working_folder(system, report, command_line, outcome, package_settings);
}

}  // namespace

run_outcome perform_run(run_system& system, const std::string& command_line, settings_map* package_settings) {
  run_outcome outcome;
  reporter report(system, is_silent(command_line));
  try {
    outcome.exit_code = guarded_run(system, report, command_line, outcome, package_settings);
  } catch (const std::exception& error) {
    outcome.stopped = run_stop::exception;
    outcome.exception_text = system.from_ansi(error.what());
    report.show(outcome.exception_text, messages::unhandled_text);
    outcome.exit_code = run_failed;
  } catch (...) {
    outcome.stopped = run_stop::exception;
    report.show(messages::no_context, messages::unhandled_text);
    outcome.exit_code = run_failed;
  }
  system.log("Exit code: " + std::to_string(static_cast<std::uint32_t>(outcome.exit_code)));
  return outcome;
}

namespace {

const char* file_problem_text(const file_failure& failure) {
  switch (failure.problem) {
    case file_problem::none:
    case file_problem::stored_name:
      break;
    case file_problem::marker_name:
      return "is the name of the file that marks the working folder as the run's own";
    case file_problem::path_too_long:
      return "is longer than 255 characters, or makes a path longer than the system takes";
    case file_problem::not_created:
      return "cannot be created in the working folder";
    case file_problem::not_named:
      return "cannot be given its name in the working folder";
    case file_problem::not_written:
      return "cannot be written in full in the working folder";
  }
  return failure.name_reason;
}

}  // namespace

std::string why_not_launched(const run_outcome& outcome) {
  switch (outcome.stopped) {
    case run_stop::none:
      break;
    case run_stop::already_running:
      return "another run holds the single-instance guard";
    case run_stop::no_working_folder:
      return "no working folder could be created and entered";
    case run_stop::package_unopened:
      return "the package cannot be opened";
    case run_stop::cancelled:
      return "the user cancelled it while the package was read";
    case run_stop::exception:
      return "the run ended with an exception" + (outcome.exception_text.empty() ? "" : ": " + outcome.exception_text);
  }
  if (outcome.launched) return "";
  if (outcome.failed_file.entry != 0)
    return "entry #" + std::to_string(outcome.failed_file.entry) + ": stored name \"" +
           outcome.failed_file.stored_name + "\" " + file_problem_text(outcome.failed_file);
  if (*outcome.launch_problem != '\0') {
    std::string text = "the file to launch, \"" + outcome.executable + "\", " + outcome.launch_problem;
    return outcome.launch_detail.empty() ? text : text + ": it " + outcome.launch_detail;
  }
  return "not accepted: " + describe_verdict(outcome.walk);
}

}  // namespace tailrun
