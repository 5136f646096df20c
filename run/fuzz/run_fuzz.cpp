// libFuzzer target: whole runs of the run core (perform_run) over a simulated machine. The input:
// byte 0 how the machine behaves and byte 1 what it answers (fuzz_system.h), byte 2 the length of
// the command line, the command line, then the package's bytes. Every input's run is checked:
// nothing is written outside the working folder that the run created, that folder is removed at
// the end and the guard released, nothing is launched unless the walk accepted the package, the
// exit code and messages follow the launch, and no exception leaves the run or reaches its outer
// guard (the machine never throws). Built by the `fuzz` preset, run by scripts/fuzz. With
// TAILRUN_FUZZ_SEEDS=DIR set, it first writes its seeds (the test packages) into DIR.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/ascii.h"
#include "base/wtf8.h"
#include "pe/tests/pe_image.h"
#include "package/tests/sample_packages.h"
#include "run/command_line.h"
#include "run/folder_model.h"
#include "run/fuzz/fuzz_system.h"
#include "package/fuzz/reseal.h"
#include "run/run.h"

using namespace tailrun;

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

namespace {

using kind = fuzz_event::kind;

void check(bool condition) {
  if (!condition) std::abort();
}

bool starts_with(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }

std::string folded(const std::string& name) { return ascii_lower(name); }

// A path that names a file directly inside `folder` (which ends with a backslash): no separator
// after it, not only dots and spaces (which would name the folder itself), within the path limit.
bool inside(const std::string& folder, const std::string& path) {
  if (folder.empty() || !starts_with(path, folder) || utf16_length(path) > longest_launch_path) return false;
  const std::string name = path.substr(folder.size());
  return name.find_first_of("\\/") == std::string::npos && name.find_first_not_of(". ") != std::string::npos;
}

void check_run(const fuzz_system& system, const run_outcome& outcome, const std::string& command_line,
               bool guard_free) {
  const std::string& folder = outcome.working_folder;
  const std::vector<fuzz_event>& events = system.events;
  check(outcome.stopped != run_stop::exception);

  // Where the working folder is removed; every write and the launch come before, none after.
  std::size_t made = events.size(), removed = events.size(), launches = 0, last_enter = events.size();
  std::vector<std::string> committed;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const fuzz_event& event = events[i];
    if (event.what == kind::make && event.text == folder) made = i;
    if (event.what == kind::enter && removed == events.size()) last_enter = i;
    if (event.what == kind::remove) {
      check(removed == events.size() && event.text == folder);
      removed = i;
    }
    if (event.what == kind::stage || event.what == kind::commit || event.what == kind::launch)
      check(made < i && i < removed);
    if (event.what == kind::stage || event.what == kind::commit) check(inside(folder, event.text));
    if (event.what == kind::commit) committed.push_back(folded(event.text));
    if (event.what == kind::launch) ++launches;
  }
  if (!folder.empty()) {
    // The folder is one this run made, left before it is removed, and removed last.
    check(made < events.size() && removed < events.size());
    check(last_enter < removed && !starts_with(events[last_enter].text, folder));
  } else {
    // No working folder: a folder made but not entered stays as it is, and nothing was written.
    check(removed == events.size());
  }
  if (guard_free) check(!events.empty() && events.back().what == kind::release);

  // The launch: only of an accepted package, a file the run wrote unless it lies outside.
  check(launches == (outcome.launched ? 1u : 0u));
  check(why_not_launched(outcome).empty() == outcome.launched);
  if (outcome.launched) {
    check(outcome.walk.accepted);
    check(outcome.launch_outside == !starts_with(folded(outcome.launch.file), folded(folder)));
    if (!outcome.launch_outside)
      check(std::find(committed.begin(), committed.end(), folded(outcome.launch.file)) != committed.end());
  }
  const launch_result answer = system.launch_answer();
  const bool exited = outcome.launched && answer.status == launch_status::exited;
  check(outcome.exit_code == (exited ? static_cast<int>(answer.exit_code) : 1));

  // Messages: none when silent; a run that launched nothing says so otherwise.
  bool shown = false;
  for (const fuzz_event& event : events) shown = shown || event.what == kind::show;
  if (is_silent(command_line)) check(!shown);
  else if (!outcome.launched) check(shown);
}

std::string seed(std::uint8_t machine, std::uint8_t answers, const std::string& command_line,
                 const std::string& package) {
  return std::string{static_cast<char>(machine), static_cast<char>(answers),
                     static_cast<char>(command_line.size())} +
         command_line + package;
}

std::string launching(const std::string& name, const std::string& executable, const std::string& msilog) {
  return samples::package(samples::stub_image(), "Tailrun.exe",
                          {package_entry::make_file("installer32", name, pe::minimal_image("installer")),
                           package_entry::make_value("executable32", executable),
                           package_entry::make_value("parameters", "/qb %source%"),
                           package_entry::make_value("msilog", msilog)});
}

void write_seeds(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> seeds;
  for (const auto& [name, package] : samples::all()) seeds.emplace_back(name, seed(0, 0, "", package));
  const std::string installs = launching("setup.exe", "%installer32%", "ON");
  seeds.emplace_back("installs", seed(0, 0, "/V\"A=1\" /x", installs));
  seeds.emplace_back("installs-silent", seed(0, 0x2C, "/s /v\"B=%source%\"", installs));
  seeds.emplace_back("outside", seed(0, 0, "", launching("setup.exe", "..\\..\\Windows\\x.exe", "OFF")));
  seeds.emplace_back("escaping", seed(0, 0, "", launching("..\\setup.exe", "..\\setup.exe", "ON")));
  seeds.emplace_back("dots", seed(0, 0, "", launching("Setup.EXE. ", ".\\setup.exe.", "ON")));
  // The typical package on each machine: every failure of the system, each launch answer.
  for (int bit = 0; bit < 8; ++bit)
    seeds.emplace_back("machine-" + std::to_string(bit), seed(static_cast<std::uint8_t>(1 << bit), 0, "", installs));
  seeds.emplace_back("machine-taken", seed(0x04, 0, "", installs));
  seeds.emplace_back("machine-not-entered", seed(0x0C, 0, "", installs));
  for (int answers : {1, 2, 3, 4, 8, 12, 16, 0xE0})
    seeds.emplace_back("answers-" + std::to_string(answers), seed(0, static_cast<std::uint8_t>(answers), "", installs));
  for (const auto& [name, bytes] : seeds)
    std::ofstream(folder + "/run-" + name, std::ios::binary | std::ios::trunc) << bytes;
}

// Where the package starts in an input; 0 when the input is too short to hold one.
std::size_t package_offset(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  return std::min<std::size_t>(size, 3u + data[2]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* folder = std::getenv("TAILRUN_FUZZ_SEEDS")) write_seeds(folder);
  return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t max_size,
                                               unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, max_size);
  const std::size_t offset = package_offset(data, size);
  if (seed % 4 != 0 && offset != 0) reseal(data + offset, size - offset);
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t offset = package_offset(data, size);
  if (offset == 0) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  const std::string command_line(bytes + 3, offset - 3), package(bytes + offset, size - offset);

  fuzz_system system(data[0], data[1], package);
  run_outcome outcome;
  try {
    outcome = perform_run(system, command_line);
  } catch (...) {
    std::abort();  // nothing may leave the run
  }
  check_run(system, outcome, command_line, (data[0] & 1) == 0);
  return 0;
}
