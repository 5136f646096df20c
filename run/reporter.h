// How a run speaks: message boxes, never while silent.
#pragma once
#include <cstdint>
#include <string>

#include "run/messages.h"
#include "run/system.h"

class reporter {
 public:
  reporter(run_system& system, bool silent) : system_(system), silent_(silent) {}

  bool silent() const { return silent_; }

  void show(const run_message& message) { show(message.caption, message.text); }
  void show(const std::string& caption, const std::string& text) {
    if (!silent_) system_.show_message(caption, text);
  }

  // "File: <path>\rError: <the system's text for code>" under `caption`.
  void file_failure(const char* caption, const std::string& path, std::uint32_t code) {
    show(caption, "File: " + path + "\rError: " + system_.error_text(code));
  }

 private:
  run_system& system_;
  bool silent_;
};
