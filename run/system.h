// What a run needs from the machine it runs on: the narrow interface between the run core and the
// system. The stub implements it with Win32 (driver/), tailpack with a simulated machine that
// records what the stub would do. The run core decides every limit and refusal itself before it
// calls these, so an implementation only carries out what it is asked.
//
// Every text that crosses this interface is the run's own text: WTF-8 (base/wtf8.h), so that a path
// or command line of any characters passes unchanged. The package's keys, values and stored names
// are bytes in the machine's ANSI code page; the run converts them with from_ansi where they join a
// path, the command line or a message.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "package/record.h"

namespace tailrun {

// A file being extracted under a staging name: its data arrives block by block through the sink
// (take() false on a failed or short write, error() then holds the system's code). It gets its
// stored name only through commit; one that is never committed is removed when destroyed. A
// committed file stays held by the run until this object is destroyed: open for reading, sharing
// only reading, so that nobody can write, rename or delete what the run verified.
class staged_output : public payload_sink {
 public:
  // Gives the file the name `path`, replacing a file of that name (which must not be held), and
  // holds it. False with error() set.
  virtual bool commit(const std::string& path) = 0;
  virtual std::uint32_t error() const = 0;
};

// The installer's launch, as the run composed it.
struct launch_request {
  std::string file;        // full path of the file to start
  std::string parameters;  // its command line, without the file
  std::string directory;   // its working directory
  bool silent = false;     // no user interface of the system's own either
};

// How a launch ended.
enum class launch_status {
  not_started,    // the system could not start the file
  wait_failed,    // the wait for the process did not end normally
  no_exit_code,   // the process ended, its exit code could not be read
  exited,         // ended; exit_code is its exit code
};

struct launch_result {
  launch_status status = launch_status::not_started;
  std::uint32_t exit_code = 0;
};

// The installed product's language values, as the registry holds them.
struct language_facts {
  std::optional<std::string> installer_language;  // none: no earlier installation, or unreadable
  std::string us_uk_record;                       // empty when missing or unreadable
  std::uint16_t system_language = 0;              // the system's default language identifier
};

class run_system {
 public:
  virtual ~run_system() = default;

  // Loads the product's names; throws (to the run's outer guard) when they cannot be had.
  virtual void load_configuration() = 0;
  // The product name, as the log shows it.
  virtual std::wstring product_name() = 0;

  // The machine-wide single-instance guard: false when another run holds it. May throw.
  virtual bool acquire_single_instance() = 0;
  // Closes the guard's handle (a no-op when it is not held).
  virtual void release_single_instance() = 0;

  // The temporary folder, ending with a backslash, or empty when there is none.
  virtual std::string temporary_folder() = 0;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual std::int64_t now() = 0;
  // Creates a folder; the result is not needed (it usually exists).
  virtual void create_folder(const std::string& path) = 0;
  // Creates a new folder closed to everyone but the run's owner, SYSTEM and Administrators. False
  // when anything of that name exists or the folder cannot be created protected.
  virtual bool create_private_folder(const std::string& path) = 0;
  virtual bool set_current_folder(const std::string& path) = 0;
  // Removes a folder with everything in it; best effort, silent.
  virtual void remove_folder(const std::string& path) = 0;
  // Marks the new working folder as this run's own: a marker file held open until
  // release_working_folder. False when it cannot (the run goes on).
  virtual bool claim_working_folder(const std::string& folder) {
    (void)folder;
    return true;
  }
  virtual void release_working_folder() {}
  // Removes from `temp_folder` the working folders of runs that ended without their clean-up (a
  // marker nobody holds); returns them, for the log. Never throws.
  virtual std::vector<std::string> remove_leftovers(const std::string& temp_folder) {
    (void)temp_folder;
    return {};
  }
  // Makes `path` (the installer log) a new, empty file of the run's own, readable only by the run's
  // user, SYSTEM and Administrators, after removing what stands there through its handle (an
  // earlier log, read-only or another user's; a link as a link). 0, or the system's code of why it
  // cannot.
  virtual std::uint32_t create_private_log(const std::string& path) = 0;

  // The running package's own path, and the package opened for reading (null with `error` set).
  virtual std::string package_path() = 0;
  virtual std::unique_ptr<byte_source> open_package(std::uint32_t& error) = 0;
  // The system's error code of the last failed operation of the package file.
  virtual std::uint32_t last_error() = 0;
  // Creates a new file at `path` for an extracted file's data (null with `error` set).
  virtual std::unique_ptr<staged_output> create_staged(const std::string& path, std::uint32_t& error) = 0;

  // The installed product's language values; never throws.
  virtual language_facts read_language() = 0;
  // Writes the user's language setting empty, when the user's settings key exists; never throws.
  virtual void clear_user_language() = 0;

  // Starts the installer and waits for it to end.
  virtual launch_result launch(const launch_request& request) = 0;

  // Milliseconds since any fixed start, for timing the progress window; wraps around after 49.7
  // days (differences stay right).
  virtual std::uint32_t milliseconds() { return 0; }
  // The progress window of a long walk: titled with the product name, a bar with the percentage
  // done, and Cancel. False when it cannot be opened (no display): the run goes on without it.
  virtual bool open_progress() { return false; }
  // Shows `per_mille` (0 to 1000) of the walk done and handles the window's waiting messages.
  // False once the user asked to cancel (Cancel, Escape, closing the window); true when no window
  // is open.
  virtual bool update_progress(unsigned per_mille) {
    (void)per_mille;
    return true;
  }
  // Closes the progress window; nothing when none is open. Never throws.
  virtual void close_progress() {}

  // A message box (the run calls it only when not silent).
  virtual void show_message(const std::string& caption, const std::string& text) = 0;
  // One log line; nothing when there is no log. CR, LF and NUL in `line` are written as one space
  // each, so that no text the run logs (a parameter, a stored name) makes a line of its own. Never
  // throws.
  void log(const std::string& line);
  void log(const std::wstring& line);
  // The system's text for an error code, without its line break; empty when it has none.
  virtual std::string error_text(std::uint32_t code) = 0;
  // Bytes in the machine's ANSI code page (the package's texts, an exception's text) as the run's
  // text, decoded as the system's narrow calls decode them. Never throws.
  virtual std::string from_ansi(const std::string& bytes) = 0;

 protected:
  // Writes one line that holds no CR, LF or NUL. Never throws.
  virtual void write_log(const std::string& line) = 0;
  virtual void write_log(const std::wstring& line) = 0;
};

// `text` with each CR, LF and NUL as one space.
template <class text_type>
text_type one_line(text_type text) {
  for (auto& c : text)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  return text;
}

inline void run_system::log(const std::string& line) {
  try {
    write_log(one_line(line));
  } catch (...) {
  }
}

inline void run_system::log(const std::wstring& line) {
  try {
    write_log(one_line(line));
  } catch (...) {
  }
}

}  // namespace tailrun
