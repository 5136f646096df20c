// How a run speaks: message boxes, never while silent, and every message in the log, silent or not,
// so that a silent run that fails says why.
#pragma once
#include <cstdint>
#include <string>

#include "run/messages.h"
#include "run/system.h"

namespace tailrun {

class reporter {
 public:
  reporter(run_system& system, bool silent) : system_(system), silent_(silent) {}

  bool silent() const { return silent_; }

  void show(const run_message& message) { show(message.caption, message.text); }
  // Logs "Message: <caption>: <text>" (on one line, as every log line), then shows the box, once
  // the progress window is closed: a box never stands beside it.
  void show(const std::string& caption, const std::string& text) {
    log(caption, text);
    if (silent_) return;
    system_.close_progress();
    system_.show_message(caption, text);
  }
  // Logs the message as show() does, without a box.
  void log(const run_message& message) { log(message.caption, message.text); }

  // "File: <path>\rError: <the system's text for code>" under `caption`; `what_happened` instead
  // of the system's text when the code is 0, whose text would say "success".
  void file_failure(const char* caption, const std::string& path, std::uint32_t code, const char* what_happened) {
    show(caption, "File: " + path + "\rError: " + (code == 0 ? std::string(what_happened) : system_.error_text(code)));
  }

 private:
  void log(const std::string& caption, const std::string& text) { system_.log("Message: " + caption + ": " + text); }

  run_system& system_;
  bool silent_;
};

}  // namespace tailrun
