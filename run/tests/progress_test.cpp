// The progress window of a long walk, over the fake system's clock, which moves at every reading
// (the walk reads it once per block).
#include "run/progress.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "pe/tests/pe_image.h"
#include "package/writer.h"
#include "run/run.h"
#include "run/tests/fake_system.h"

using namespace tailrun;

namespace {

using strings = std::vector<std::string>;

const std::string work = "C:\\Temp\\QVT100\\";

// A package whose installer carries `size` bytes: a few MiB make a walk of many blocks.
std::string package_with_installer(std::size_t size) {
  std::string installer = pe::minimal_image("installer");
  installer.resize(std::max(size, installer.size()), 'x');
  string_sink sink;
  write_package(sink, "MZ stub", "Tailrun.exe",
                {package_entry::make_file("installer32", "setup.exe", installer),
                 package_entry::make_value("executable32", "%installer32%")});
  return sink.bytes();
}

std::size_t index_of(const strings& events, const std::string& event) {
  return static_cast<std::size_t>(std::find(events.begin(), events.end(), event) - events.begin());
}

const std::string big = package_with_installer(std::size_t{3} << 20);

// Makes `system` walk `big`, read at `ms_per_mib` (a second for each MiB: the window shows).
void walking(fake_system& system, std::uint32_t ms_per_mib = 1000) {
  system.package = big;
  system.ms_per_mib = ms_per_mib;
}

// When the window is asked for: after a second of walking, never in a silent run or a short walk.
TEST(progress, window_is_asked_for_only_after_a_second_of_a_long_walk) {
  const struct {
    const char* command_line;
    std::uint32_t ms_per_mib;
    bool asked;
  } cases[] = {{"/x", 1000, true}, {"/x", 100, false}, {"/s", 1000, false}, {"/silent", 5000, false}};
  for (const auto& c : cases) {
    fake_system system;
  walking(system, c.ms_per_mib);
    const run_outcome outcome = perform_run(system, c.command_line);
    EXPECT_EQ(outcome.exit_code, 0) << c.command_line << " " << c.ms_per_mib;
    const strings asked = system.starting("window at ");
    ASSERT_EQ(asked.size(), c.asked ? 1u : 0u) << c.command_line << " " << c.ms_per_mib;
    if (c.asked) {
      EXPECT_GE(std::stoul(asked[0]), progress_delay_ms);
    }
  }
}

// Shown, the progress only rises, reaches 100%, and the window is gone before the launch; a
// window that cannot be opened changes nothing else.
TEST(progress, progress_rises_to_completion_and_the_window_closes_before_the_launch) {
  fake_system shown;
  walking(shown);
  EXPECT_EQ(perform_run(shown, "/x").exit_code, 0);
  ASSERT_GE(shown.progress.size(), 4u);
  EXPECT_TRUE(std::is_sorted(shown.progress.begin(), shown.progress.end()));
  EXPECT_EQ(shown.progress.back(), 1000u);
  // Updated every 50 ms or so, the shown share moves at most every 250 ms.
  for (std::size_t i = 1, moved = 0; i < shown.progress.size(); ++i) {
    if (shown.progress[i] == shown.progress[i - 1] || shown.progress[i] == 1000) continue;
    EXPECT_TRUE(moved == 0 || i - moved >= 3) << "moved at updates " << moved << " and " << i;
    moved = i;
  }
  EXPECT_LT(index_of(shown.events, "window closed"), index_of(shown.events, "launch " + work + "setup.exe||C:\\Temp"));

  fake_system unopened, none;
  walking(unopened);
  walking(none, 0);
  unopened.window_opens = false;
  EXPECT_EQ(perform_run(unopened, "/x").exit_code, 0);
  perform_run(none, "/x");
  strings events = unopened.events;
  events.erase(std::remove_if(events.begin(), events.end(),
                              [](const std::string& e) { return e.rfind("window at ", 0) == 0; }),
               events.end());
  EXPECT_EQ(events, none.events);
  EXPECT_TRUE(unopened.progress.empty());
}

// On a slow share (8 s for a MiB) the blocks are read in parts small enough that the window's
// messages never wait 100 ms.
TEST(progress, the_window_answers_on_a_slow_share) {
  fake_system slow;
  walking(slow, 8000);
  EXPECT_EQ(perform_run(slow, "/x").exit_code, 0);
  ASSERT_GE(slow.updated_at.size(), 100u);
  for (std::size_t i = 1; i < slow.updated_at.size(); ++i)
    EXPECT_LE(slow.updated_at[i] - slow.updated_at[i - 1], 100u) << "update " << i;
}

// A failure after a long walk: the window is closed before the message box.
TEST(progress, window_closes_before_a_message_box) {
  fake_system system;
  walking(system);
  system.package[system.package.size() / 2] ^= 1;  // inside the installer's data
  EXPECT_EQ(perform_run(system, "/x").exit_code, 1);
  EXPECT_LT(index_of(system.events, "window closed"), index_of(system.events, "show Invalid Archive!"));
}

// A cancel at any update: nothing launched, the working folder and everything in it removed,
// the cancel logged as a message (no box), exit 1602.
TEST(progress, cancel_at_any_block_removes_everything_and_ends_1602) {
  fake_system whole;
  walking(whole);
  perform_run(whole, "/x");
  for (std::size_t at = 1; at <= whole.progress.size(); ++at) {
    fake_system system;
    walking(system);
    system.cancel_at = at;
    const run_outcome outcome = perform_run(system, "/x");
    EXPECT_EQ(outcome.exit_code, cancelled_exit_code) << at;
    EXPECT_EQ(outcome.stopped, run_stop::cancelled) << at;
    EXPECT_FALSE(outcome.launched) << at;
    EXPECT_EQ(system.starting("launch "), strings{}) << at;
    EXPECT_EQ(system.shown(), strings{}) << at;
    EXPECT_TRUE(system.files.empty()) << at;
    EXPECT_LT(index_of(system.events, "window closed"), index_of(system.events, "remove " + work)) << at;
    EXPECT_EQ(system.starting("log Message: "),
              strings{"Installation cancelled: Cancelled by the user before the installer started"})
        << at;
    EXPECT_EQ(system.events.back(), "log Exit code: 1602") << at;
  }
}

}  // namespace
