// The log listener that appends the log's lines to a UTF-8 text file shared by every process that
// logs to the same path. Windows only.
#pragma once
#include <cstdint>
#include <string>

#include "diagnostics/log.h"
#include "support/handle.h"
#include "support/mutex.h"
#include "support/unicode.h"

namespace tessel {
namespace log {

class file final : public listener {
 public:
  // Opens (or creates, never truncating) `base_name` + ".log.txt" for appending (a path of any
  // length: the extended form is used) and writes the byte order mark when the file is empty. The
  // file's cross-process mutex is named by mutex_name. The log is never written through a link:
  // a path that is a reparse point or a file with more than one hard link counts as a file that
  // cannot be opened. Throws tessel::log::generic "CreateFile failed: <system text>";
  // tessel::real_mutex's exceptions pass through.
  explicit file(const std::wstring& base_name);
  // `base_name` in the ANSI code page.
  explicit file(const std::string& base_name) : file(unicode::to_wide(base_name, unicode::ansi_code_page)) {}
  ~file() override;

  // Appends "<header><text>\r\n" at the file's current end in one write, under the cross-process
  // mutex. A file whose size cannot be read is first emptied and restarted with the byte order
  // mark. Write failures are not reported; mutex failures throw.
  void write(std::int32_t level, const std::string& header, const std::string& text) override;

  // The mutex name for `base_name`: "log-" + `base_name` with backslashes turned into "_", in the
  // ANSI code page (a character it cannot hold as its default character). A name longer than
  // longest_mutex_name, which the system would refuse, becomes "log-" + 16 hexadecimal digits of
  // the 64-bit FNV-1a hash of `base_name`'s UTF-16 units, so that the log works in any folder.
  static std::string mutex_name(const std::wstring& base_name);
  static constexpr std::size_t longest_mutex_name = 240;

 private:
  real_mutex lock;
  std::uint32_t max_size;
  unique_file handle;
};

}  // namespace log
}  // namespace tessel
