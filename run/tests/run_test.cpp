#include "run/run.h"

#include <gtest/gtest.h>

#include "pe/tests/pe_image.h"
#include "package/writer.h"
#include "run/tests/fake_system.h"

using namespace tailrun;

namespace {

using strings = std::vector<std::string>;

const std::string installer = pe::minimal_image("installer");
const std::string work = "C:\\Temp\\QVT100\\";

// A package: the stub entry, then `entries` (the last given nearest the tail marker).
std::string package_of(const std::vector<package_entry>& entries) {
  string_sink sink;
  write_package(sink, "MZ stub", "Tailrun.exe", entries);
  return sink.bytes();
}

std::vector<package_entry> launching(const std::string& name, const std::string& data,
                                     const std::string& executable = "%installer32%") {
  return {package_entry::make_file("installer32", name, data), package_entry::make_value("executable32", executable),
          package_entry::make_value("parameters", "/qb")};
}

// The well-formed run, step by step: the folder, the staged file taking its name once verified,
// the run's own installer log, the launch lines, the launch, the verified file let go, then out of
// the folder and away.
TEST(run_core, well_formed_package_runs_in_order_and_cleans_up) {
  fake_system system;
  auto entries = launching("setup.exe", installer);
  entries.push_back(package_entry::make_value("msilog", "ON"));
  system.package = package_of(entries);
  system.launch_answer = {launch_status::exited, 3010};
  const run_outcome outcome = perform_run(system, "/x");
  EXPECT_EQ(outcome.exit_code, 3010);
  EXPECT_EQ(system.events,
            (strings{"make " + work, "enter " + work, "claim " + work, "sweep C:\\Temp\\",
                     "log Removed the folder of an ended run: C:\\Temp\\QVT7", "stage " + work + "~extract0.tmp",
                     "commit " + work + "setup.exe", "private C:\\Temp\\QVNEX_msi.log.txt", "log ", "log Product",
                     "log File: " + work + "setup.exe",
                     "log Parameters: /x /qb/V\"/l*v \\\"C:\\Temp\\QVNEX_msi.log.txt\\\" \"", "log ",
                     "launch " + work + "setup.exe|/x /qb/V\"/l*v \\\"C:\\Temp\\QVNEX_msi.log.txt\\\" \"|C:\\Temp",
                     "release " + work + "setup.exe", "unclaim", "enter C:\\Temp", "remove " + work, "release",
                     "log Exit code: 3010"}));
}

// Every file stays held from its commit to the installer's end; one that a later entry of the
// same name replaces is let go just before. A logged text never makes a line of its own.
TEST(run_core, verified_files_are_held_until_the_installer_ends_and_log_lines_stay_whole) {
  fake_system system;
  auto entries = launching("setup.exe", installer);
  entries.push_back(package_entry::make_file("", "data.cab", "old"));
  entries.push_back(package_entry::make_file("", "DATA.cab", "new"));  // met first
  entries.push_back(package_entry::make_value("parameters", "/qb\r\nExit code: 0\n"));
  system.package = package_of(entries);
  system.launch_answer = {launch_status::exited, 7};
  perform_run(system, "");
  strings files;
  for (const std::string& event : system.events)
    if (event.rfind("commit ", 0) == 0 || event.rfind("release C:", 0) == 0 || event.rfind("launch ", 0) == 0 ||
        event.rfind("remove ", 0) == 0)
      files.push_back(event.substr(0, event.find('|')));
  EXPECT_EQ(files, (strings{"commit " + work + "DATA.cab", "release " + work + "DATA.cab", "commit " + work + "data.cab",
                            "commit " + work + "setup.exe", "launch " + work + "setup.exe", "release " + work + "data.cab",
                            "release " + work + "setup.exe", "remove " + work}));
  EXPECT_EQ(system.starting("log Exit code: "), strings{"7"});
  EXPECT_EQ(system.starting("log Parameters: "), strings{" /qb  Exit code: 0 /V\"\""});
}

// The installer log is named only when the run made it its own; a package that is refused gets
// none made.
TEST(run_core, installer_log_only_of_the_runs_own) {
  auto entries = launching("setup.exe", installer);
  entries.push_back(package_entry::make_value("msilog", "ON"));
  fake_system refused_log;
  refused_log.package = package_of(entries);
  refused_log.private_log_error = 5;
  const run_outcome outcome = perform_run(refused_log, "");
  EXPECT_EQ(outcome.launch.parameters, " /qb/V\"\"");
  EXPECT_FALSE(outcome.msi_log);
  EXPECT_EQ(refused_log.starting("log Installer log not used: "), strings{"C:\\Temp\\QVNEX_msi.log.txt: error 5"});

  fake_system corrupted;
  corrupted.package = package_of(entries);
  corrupted.package[corrupted.package.find(installer) + 100] ^= 1;  // the installer's data
  EXPECT_EQ(perform_run(corrupted, "").exit_code, 1);
  EXPECT_TRUE(corrupted.starting("private ").empty());
}

// Each way a run refuses: its messages in order, and that nothing is launched.
TEST(run_core, refusals_show_their_messages_in_order_and_launch_nothing) {
  struct refusal_case {
    const char* what;
    std::vector<package_entry> entries;
    strings messages;
  };
  const std::string long_name = std::string(241, 'n') + ".exe";  // 260 characters with the folder
  const std::string too_long_a_name = std::string(252, 'n') + ".exe";  // 256 characters
  const std::vector<refusal_case> cases = {
      {"escaping name", launching("..\\setup.exe", installer), {"Failed to extract file!", "Invalid Archive!"}},
      {"sub-folder", launching("sub\\setup.exe", installer), {"Failed to extract file!", "Invalid Archive!"}},
      {"name too long", launching(too_long_a_name, installer), {"Failed to extract file!", "Invalid Archive!"}},
      {"path too long to launch", launching(long_name, installer), {"ShellExecuteEx failed"}},
      {"the marker's name", launching("~qvt.RUN", installer), {"Failed to extract file!", "Invalid Archive!"}},
      {"trailing dot", launching("setup.exe.", installer), {"Failed to extract file!", "Invalid Archive!"}},
      {"superscript port", launching("COM\xB9.exe", installer), {"Failed to extract file!", "Invalid Archive!"}},
      {"empty installer", launching("setup.exe", ""), {"ShellExecuteEx failed"}},
      {"no program image", launching("setup.exe", "MZ but nothing more"), {"ShellExecuteEx failed"}},
      {"empty executable32", launching("setup.exe", installer, ""), {"ShellExecuteEx failed"}},
      {"folder above", launching("setup.exe", installer, ".."), {"ShellExecuteEx failed"}},
      {"not written", launching("setup.exe", installer, "other.exe"), {"ShellExecuteEx failed"}},
      {"installer in a sub-folder", launching("setup.exe", installer, "x\\setup.exe"), {"ShellExecuteEx failed"}},
  };
  for (const refusal_case& c : cases) {
    fake_system system;
    system.package = package_of(c.entries);
    const run_outcome outcome = perform_run(system, "");
    EXPECT_EQ(system.shown(), c.messages) << c.what;
    EXPECT_EQ(outcome.exit_code, 1) << c.what;
    EXPECT_FALSE(outcome.launched) << c.what;
    EXPECT_FALSE(why_not_launched(outcome).empty()) << c.what;
    EXPECT_TRUE(system.starting("launch ").empty()) << c.what;
    EXPECT_EQ(system.starting("remove "), strings{work}) << c.what;
    // A refused name is never staged or written.
    if (c.messages.front() == "Failed to extract file!") {
      EXPECT_TRUE(system.starting("stage ").empty()) << c.what;
    }
  }
}

// The package's texts are bytes in the ANSI code page: the run converts them before they join a
// path or the command line, and paths beyond MAX_PATH are written (only the launch keeps it).
TEST(run_core, package_texts_join_paths_and_the_command_line_converted) {
  fake_system system;
  system.temp = "C:\\\xD0\x9F\\";  // a folder that no ANSI code page of this machine holds
  auto entries = launching("\xE9t\xE9.exe", installer);  // "été.exe" in Latin-1
  entries.push_back(package_entry::make_value("parameters", "/name=\xE9"));
  entries.push_back(package_entry::make_file("", std::string(250, 'd'), "data"));
  system.package = package_of(entries);
  const std::string folder = system.temp + "QVT100\\";
  const run_outcome outcome = perform_run(system, "/x \xE6\x96\x87");
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(outcome.launch.file, folder + "\xC3\xA9t\xC3\xA9.exe");
  EXPECT_EQ(outcome.launch.parameters, "/x \xE6\x96\x87 /name=\xC3\xA9/V\"\"");
  EXPECT_EQ(system.starting("commit "), (strings{folder + std::string(250, 'd'),
                                                 folder + "\xC3\xA9t\xC3\xA9.exe"}));
}

// The chain itself: no marker, a digest mismatch, a package that cannot be opened; silent runs
// show nothing at all, and log every message all the same.
TEST(run_core, package_failures_and_silence) {
  std::string corrupted = package_of(launching("setup.exe", installer));
  corrupted[corrupted.size() - 200] ^= 1;
  struct chain_case {
    std::string package;
    bool opens;
    strings messages;
  };
  const std::vector<chain_case> cases = {
      {"MZ no chain at all, just bytes of a program", true, {"Failed to initialize archive!", "Invalid Archive!"}},
      {corrupted, true, {"Invalid Archive!"}},
      {"", false, {"Failed to open archive!", "Invalid Archive!"}},
  };
  for (const chain_case& c : cases) {
    for (const char* command_line : {"", "/silent"}) {
      fake_system system;
      system.package = c.package;
      system.package_opens = c.opens;
      EXPECT_EQ(perform_run(system, command_line).exit_code, 1);
      EXPECT_EQ(system.shown(), *command_line ? strings{} : c.messages) << command_line;
      strings logged;
      for (const std::string& line : system.starting("log Message: ")) logged.push_back(line.substr(0, line.find(": ")));
      EXPECT_EQ(logged, c.messages) << command_line;
      EXPECT_EQ(system.starting("remove "), strings{work});
    }
  }
}

// Windows resolves ".\" and a trailing dot; a file outside the working folder is launched but
// marked as such.
TEST(run_core, launch_target_is_resolved_as_windows_resolves_it) {
  for (const auto& [executable, file, outside] : std::vector<std::tuple<std::string, std::string, bool>>{
           {".\\Setup.EXE", work + "Setup.EXE", false},
           {"setup.exe.", work + "setup.exe", false},
           {"..\\..\\Windows\\notepad.exe", "C:\\Windows\\notepad.exe", true}}) {
    fake_system system;
    system.package = package_of(launching("setup.exe", installer, executable));
    const run_outcome outcome = perform_run(system, "");
    EXPECT_TRUE(outcome.launched) << executable << ": " << why_not_launched(outcome);
    EXPECT_EQ(outcome.launch.file, file);
    EXPECT_EQ(outcome.launch_outside, outside);
  }
}

// The entry's own failures: a second run, no temporary folder, no working folder, a launch that
// fails at each step.
TEST(run_core, run_failures) {
  fake_system busy;
  busy.guard_free = false;
  EXPECT_EQ(perform_run(busy, "").exit_code, 1);
  EXPECT_EQ(busy.shown(), strings{"Already Running"});
  EXPECT_TRUE(busy.starting("make ").empty());

  fake_system no_temp;
  no_temp.temp.clear();
  no_temp.package = package_of(launching("setup.exe", installer));
  EXPECT_EQ(perform_run(no_temp, "").exit_code, 0);
  EXPECT_EQ(no_temp.shown(), strings{"GetTempPath failed"});
  EXPECT_TRUE(no_temp.starting("sweep ").empty()) << "the fallback folder is nobody's to clean";
  EXPECT_EQ(no_temp.starting("make ").front(), "C:\\Temp\\QVT100\\");

  fake_system no_folder;
  no_folder.folders_can_be_made = false;
  EXPECT_EQ(perform_run(no_folder, "").exit_code, 1);
  EXPECT_EQ(no_folder.shown(), strings{"SetCurrentDirectory failed"});

  for (const auto& [status, caption] : std::vector<std::pair<launch_status, const char*>>{
           {launch_status::not_started, "ShellExecuteEx failed"},
           {launch_status::wait_failed, "WaitForSingleObject failed"},
           {launch_status::no_exit_code, "GetExitCodeProcess failed"}}) {
    fake_system system;
    system.package = package_of(launching("setup.exe", installer));
    system.launch_answer = {status, 0};
    EXPECT_EQ(perform_run(system, "").exit_code, 1);
    EXPECT_EQ(system.shown(), strings{caption});
    EXPECT_EQ(system.starting("remove "), strings{work});
  }
}

// An exception at any step ends the run through the outer guard: its text as the caption, the
// guard released, exit code 1; the working folder goes first, once there is one.
TEST(run_core, exceptions_end_the_run_through_the_outer_guard_and_remove_the_folder) {
  for (const auto& [step, had_folder] : std::vector<std::pair<std::string, bool>>{
           {"configuration", false}, {"guard", false}, {"folder", false}, {"open", true}, {"stage", true},
           {"launch", true}}) {
    fake_system system;
    system.package = package_of(launching("setup.exe", installer));
    system.throw_at = step;
    EXPECT_EQ(perform_run(system, "").exit_code, 1) << step;
    EXPECT_EQ(system.shown(), strings{step}) << step;
    const strings end(system.events.end() - 4, system.events.end());
    EXPECT_EQ(end, (strings{"release", "log Message: " + step + ": Unhandled Exception", "show " + step,
                            "log Exit code: 1"}));
    EXPECT_EQ(system.starting("remove "), had_folder ? strings{work} : strings{}) << step;
  }
}

}  // namespace
