#include "run/progress.h"

#include <algorithm>

namespace tailrun {

progress_source::progress_source(byte_source& package, run_system& system, bool silent)
    : package_(package), system_(system), watching_(!silent) {
  if (watching_) start_ = system_.milliseconds();
}

progress_source::~progress_source() { close(); }

bool progress_source::seek(std::int64_t delta) { return package_.seek(delta); }

std::uint64_t progress_source::position() const { return package_.position(); }

std::int64_t progress_source::seek_end() {
  const std::int64_t size = package_.seek_end();
  if (size > 0) size_ = static_cast<std::uint64_t>(size);
  return size;
}

bool progress_source::read(void* buffer, std::size_t count) {
  auto* bytes = static_cast<char*>(buffer);
  do {
    if (cancelled_) return false;
    const bool timed = shown_;
    const std::size_t part = timed && count > part_ ? part_ : count;
    const std::uint32_t began = timed ? system_.milliseconds() : 0;
    if (!package_.read(bytes, part)) return false;
    if (timed) fit_part(part, system_.milliseconds() - began);
    advance(part);
    bytes += part;
    count -= part;
  } while (count > 0);
  return true;
}

void progress_source::fit_part(std::size_t part, std::uint32_t elapsed) {
  // In 32 bits: a part is at most 1 MiB, so the product fits.
  const std::uint32_t fitting =
      static_cast<std::uint32_t>(std::min(part, progress_largest_part)) * progress_part_ms / (elapsed > 0 ? elapsed : 1);
  part_ = std::min(std::max(static_cast<std::size_t>(fitting), progress_least_part), progress_largest_part);
}

void progress_source::advance(std::size_t count) {
  done_ += count;
  if (!watching_) return;
  const std::uint32_t now = system_.milliseconds();
  if (!shown_) {
    if (now - start_ < progress_delay_ms) return;
    shown_ = system_.open_progress();
    watching_ = shown_;
    if (!shown_) return;
  } else if (now - start_ < progress_update_ms) {
    return;
  }
  start_ = now;
  const unsigned reached = per_mille();
  if (reached == 1000 || now - drawn_ >= progress_redraw_ms) {
    shown_per_mille_ = reached;
    drawn_ = now;
  }
  if (!system_.update_progress(shown_per_mille_)) {
    cancelled_ = true;
    watching_ = false;
  }
}

unsigned progress_source::per_mille() const {
  if (done_ >= size_) return 1000;
  // In 32 bits (the stub carries no 64-bit division): both counts cut to under 2^22.
  std::uint64_t done = done_, size = size_;
  while (size >= (std::uint64_t{1} << 22)) {
    done >>= 1;
    size >>= 1;
  }
  return static_cast<std::uint32_t>(done) * 1000u / static_cast<std::uint32_t>(size);
}

void progress_source::close() {
  if (!shown_) return;
  shown_ = false;
  watching_ = false;
  system_.close_progress();
}

}  // namespace tailrun
