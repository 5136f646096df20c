// The log front end: process-wide operations that stamp each message with the local time and a
// level character, convert it to UTF-8 and hand it to every attached listener. Windows only.
//
// Lock order: the global log lock, then the dispatcher's lock, then each listener's own locks.
// Every global operation is safe to call from any thread.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "support/mutex.h"

namespace tessel {
namespace log {

// Receives the log's lines. Owned by the front end once attached; deleted at shutdown.
class listener {
 public:
  virtual ~listener() = default;
  // One message: `level` as posted, `header` the narrow time stamp and level character, `text`
  // the message in UTF-8. Exceptions pass to the poster.
  virtual void write(std::int32_t level, const std::string& header, const std::string& text) = 0;

 protected:
  listener() = default;
  listener(const listener&) = delete;
  listener& operator=(const listener&) = delete;
};

// The process's single log object: the listeners, by minimum level, under an in-process lock.
// Used only by the global operations below, which hold the global log lock.
class dispatcher final : public tessel::mutex {
 public:
  dispatcher() = default;
  // Deletes every listener still attached.
  ~dispatcher();

  dispatcher(const dispatcher&) = delete;
  dispatcher& operator=(const dispatcher&) = delete;

  // Takes ownership of `target`; it receives messages of `minimum_level` and above. Among equal
  // minimum levels the latest attached is served first.
  void attach(std::int32_t minimum_level, listener* target);
  // Stamps `text` and hands it, in UTF-8, to every listener whose minimum level is at or below
  // `level`: highest minimum level first, and among equal ones the latest attached first.
  // A text that is not valid UTF-16, or a listener's failure, throws (the lock is released).
  void post(std::int32_t level, const std::wstring& text);
  // Deletes every listener, lowest minimum level first.
  void delete_listeners();

 private:
  std::multimap<std::int32_t, listener*> listeners;
};

// Hands `target` (not null) to the front end, which owns it from then on; minimum level 0.
void attach(listener* target);
// Logs a narrow text at level 1: read in the system's ANSI code page, or as UTF-8 when that
// conversion (or the posting) fails, or else as the line
// "tessel::log: unable to convert input to unicode".
void write_line(const std::string& text);
// Logs a wide text at level 1; a listener's failure propagates.
void write_line(const std::wstring& text);
// Formats like printf (never cut) and logs the result as the narrow write_line does.
void write_linef(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Deletes every listener and the dispatcher. Logging afterwards starts a fresh, empty dispatcher.
void shutdown();

}  // namespace log
}  // namespace tessel
