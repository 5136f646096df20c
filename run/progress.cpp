#include "run/progress.h"

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
  if (cancelled_ || !package_.read(buffer, count)) return false;
  advance(count);
  return true;
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
