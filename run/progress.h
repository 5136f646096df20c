// The progress of a long walk: once the walk has run for a second (never in a silent run), the
// system's progress window shows the share of the package read so far, and a cancel there ends
// the walk after the block being read.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/byte_source.h"
#include "run/system.h"

namespace tailrun {

// How long a walk runs before the window is asked for: a shorter walk shows nothing at all. The
// end-to-end test build sets a shorter one, so that a package of a few hundred MiB shows it.
#ifndef TAILRUN_PROGRESS_DELAY_MS
#define TAILRUN_PROGRESS_DELAY_MS 1000
#endif
constexpr std::uint32_t progress_delay_ms = TAILRUN_PROGRESS_DELAY_MS;
// How often the shown window gets the progress and has its messages handled: with a block of the
// walk (1 MiB, a few milliseconds) on top, well inside the 100 ms after which a window counts as
// not answering; seldom enough to cost the walk next to nothing.
constexpr std::uint32_t progress_update_ms = 50;
// How often the shown share moves: four times a second, which reads as steady movement. Each move
// repaints the window, which costs more than handling its messages (under Wine, a round trip to
// the display), so it moves at most that often; 100% shows at once.
constexpr std::uint32_t progress_redraw_ms = 250;
// While the window shows, the walk's blocks are read in parts sized to take about
// progress_part_ms at the rate the last part came in (at least 4 KiB, at most 1 MiB; the first
// 64 KiB), so that a slow disk or share never keeps the window from its messages for long.
constexpr std::uint32_t progress_part_ms = 12;
constexpr std::size_t progress_least_part = std::size_t{4} << 10;
constexpr std::size_t progress_first_part = std::size_t{64} << 10;
constexpr std::size_t progress_largest_part = std::size_t{1} << 20;
// The exit code of a run that the user cancelled (ERROR_INSTALL_USEREXIT, which installer tooling
// reads as a user's cancel).
constexpr int cancelled_exit_code = 1602;

// The package as the walk reads it: every call goes on to `package`; the bytes read count against
// the package's size (taken when the walk asks for the end). The walk reads the package from the
// tail marker back to the stub entry, and the last block of it twice (the marker's search), so the
// count passes the size shortly before the walk ends; it is shown as 100% from there on.
// After a cancel, the next read fails, which ends the walk; cancelled() tells it from a failure.
class progress_source final : public byte_source {
 public:
  progress_source(byte_source& package, run_system& system, bool silent);
  ~progress_source() override;
  progress_source(const progress_source&) = delete;
  progress_source& operator=(const progress_source&) = delete;

  bool seek(std::int64_t delta) override;
  std::int64_t seek_end() override;
  bool read(void* buffer, std::size_t count) override;
  std::uint64_t position() const override;

  // The user asked to cancel: the walk was stopped, or ended by itself before it could be.
  bool cancelled() const { return cancelled_; }
  // The walk has ended: closes the window, if it was opened.
  void close();

 private:
  // After `count` more bytes: opens the window when its time has come, passes on the progress.
  void advance(std::size_t count);
  // The size of the next part, after `part` bytes took `elapsed` milliseconds.
  void fit_part(std::size_t part, std::uint32_t elapsed);
  unsigned per_mille() const;

  byte_source& package_;
  run_system& system_;
  bool watching_;            // not silent, and the window is open or may still be opened
  bool shown_ = false;
  bool cancelled_ = false;
  std::uint32_t start_ = 0;  // the walk's start, and then the last update, in milliseconds
  std::uint32_t drawn_ = 0;  // when the shown share last moved, in milliseconds
  unsigned shown_per_mille_ = 0;
  std::size_t part_ = progress_first_part;  // how much of a block is read at once while shown
  std::uint64_t size_ = 0;
  std::uint64_t done_ = 0;
};

}  // namespace tailrun
