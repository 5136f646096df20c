#include "diagnostics/log.h"

#include <cstdarg>
#include <iterator>

#include "base/format.h"
#include "support/unicode.h"

namespace tessel {
namespace log {
namespace {

constexpr std::int32_t line_level = 1;
using unicode::ansi_code_page;
using unicode::utf8_code_page;

// Constructed before the program's entry runs; held for each whole global operation.
tessel::mutex global_lock;
// Null until the first global operation, null again after shutdown. Guarded by global_lock.
dispatcher* current = nullptr;

dispatcher& current_dispatcher() {
  if (current == nullptr) current = new dispatcher;
  return *current;
}

// The level's character in the header: a space for level 1, the only level the program uses.
char level_character(std::int32_t level) { return level == line_level ? ' ' : '?'; }

// "YYYY/MM/DD hh:mm:ss" in local time, a space, the level character and two spaces.
std::string header_for(std::int32_t level) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return format_text("%.4d/%.2d/%.2d %.2d:%.2d:%.2d %c  ", now.wYear, now.wMonth, now.wDay, now.wHour,
                     now.wMinute, now.wSecond, level_character(level));
}

}  // namespace

dispatcher::~dispatcher() { delete_listeners(); }

void dispatcher::attach(std::int32_t minimum_level, listener* target) {
  scope locked(this);
  // Inserted after every entry of the same key.
  listeners.emplace(minimum_level, target);
}

void dispatcher::post(std::int32_t level, const std::wstring& text) {
  const std::string header = header_for(level);
  scope locked(this);
  // From the largest key at or below `level` down; reverse order also serves the latest attached
  // of equal keys first.
  const auto first = std::make_reverse_iterator(listeners.upper_bound(level));
  if (first == listeners.rend()) return;
  const std::string line = unicode::to_narrow(text, utf8_code_page, true);  // once for every listener
  for (auto entry = first; entry != listeners.rend(); ++entry) entry->second->write(level, header, line);
}

void dispatcher::delete_listeners() {
  scope locked(this);
  for (auto& entry : listeners) delete entry.second;
  listeners.clear();
}

void attach(listener* target) {
  scope locked(&global_lock);
  current_dispatcher().attach(0, target);
}

void write_line(const std::string& text) {
  scope locked(&global_lock);
  dispatcher& target = current_dispatcher();
  try {
    target.post(line_level, unicode::to_wide(text, ansi_code_page));
    return;
  } catch (...) {
  }
  try {
    target.post(line_level, unicode::to_wide(text, utf8_code_page));
    return;
  } catch (...) {
  }
  target.post(line_level, format_text_w(L"tessel::log: unable to convert input to unicode"));
}

void write_line(const std::wstring& text) {
  scope locked(&global_lock);
  current_dispatcher().post(line_level, text);
}

void write_linef(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const va_end_guard guard{args};
  write_line(format_text_v(format, args));
}

void shutdown() {
  scope locked(&global_lock);
  delete current;
  current = nullptr;
}

}  // namespace log
}  // namespace tessel
