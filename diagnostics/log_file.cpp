#include "diagnostics/log_file.h"

#include "base/exception.h"
#include "base/format.h"
#include "support/file_entry.h"
#include "support/private_security.h"
#include "support/system_error.h"
#include "support/wide_path.h"

namespace tessel {
namespace log {
namespace {

constexpr char byte_order_mark[] = "\xEF\xBB\xBF";
constexpr DWORD byte_order_mark_size = 3;
// The size query's failure value; a file of this size or more is emptied before the next line.
constexpr std::uint32_t unknown_size = 0xFFFFFFFF;

// Opens the log for appending without following a link at its path. A log that does not exist is
// created readable only by the run's user, SYSTEM and Administrators. Invalid when the file cannot
// be opened with either sharing mode, or when what is there is a reparse point, has a second hard
// link, is a link that the system followed (Wine) or belongs to anyone else: in a shared folder
// (a run as SYSTEM in C:\Windows\Temp) another user may have made it, to read what the run logs.
unique_file open_log(const std::wstring& path) {
  private_security security(private_to::run_file);
  const auto open = [&](DWORD disposition) {
    const auto open_shared = [&](DWORD share) {
      return unique_file(CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL, share,
                                     security.attributes(), disposition,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    };
    unique_file handle = open_shared(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    return handle ? std::move(handle) : open_shared(FILE_SHARE_READ | FILE_SHARE_WRITE);
  };
  // An existing log, else a new one. Never "open always": through a link that points nowhere, the
  // system would create the file it points to.
  unique_file handle = open(OPEN_EXISTING);
  if (!handle && GetLastError() == ERROR_FILE_NOT_FOUND) {
    handle = open(CREATE_NEW);
    if (!handle && GetLastError() == ERROR_FILE_EXISTS) handle = open(OPEN_EXISTING);  // another run made it
  }
  if (!handle) return handle;

  std::wstring name;
  const unique_file folder = open_parent_folder(path, name);
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handle.get(), &information)) return unique_file();
  if ((information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      information.nNumberOfLinks > 1 || !folder || !is_entry_itself(folder.get(), handle.get(), name) ||
      !owned_by_the_run(handle.get())) {
    SetLastError(ERROR_ACCESS_DENIED);
    return unique_file();
  }
  return handle;
}

// One WriteFile call, so that a line lands whole or not at all beside other writers' lines; a
// failed write is not retried (the log is best effort).
void write_once(HANDLE handle, const char* data, DWORD size) {
  DWORD written = 0;
  WriteFile(handle, data, size, &written, nullptr);
}

}  // namespace

std::string file::mutex_name(const std::wstring& base_name) {
  std::wstring name = L"log-" + base_name;
  for (wchar_t& c : name) {
    if (c == L'\\') c = L'_';
  }
  std::string narrow = unicode::to_narrow(name, unicode::ansi_code_page, false);
  if (narrow.size() <= longest_mutex_name) return narrow;
  std::uint64_t hash = 0xcbf29ce484222325;
  for (const wchar_t unit : base_name) hash = (hash ^ static_cast<std::uint16_t>(unit)) * 0x100000001b3;
  return format_text("log-%08x%08x", static_cast<unsigned>(hash >> 32), static_cast<unsigned>(hash));
}

file::file(const std::wstring& base_name) : lock(mutex_name(base_name)), max_size(unknown_size) {
  handle = open_log(extended_path(from_wide(base_name) + ".log.txt"));
  if (!handle) {
    throw generic("CreateFile failed: " + system_error_text(GetLastError()));
  }
  if (GetFileSize(handle.get(), nullptr) == 0) {
    write_once(handle.get(), byte_order_mark, byte_order_mark_size);
  }
}

file::~file() = default;

void file::write(std::int32_t, const std::string& header, const std::string& text) {
  scope locked(&lock);
  if (GetFileSize(handle.get(), nullptr) >= max_size) {
    SetFilePointer(handle.get(), 0, nullptr, FILE_BEGIN);
    SetEndOfFile(handle.get());
    write_once(handle.get(), byte_order_mark, byte_order_mark_size);
  }
  SetFilePointer(handle.get(), 0, nullptr, FILE_END);
  const std::string line = header + text + "\r\n";
  write_once(handle.get(), line.data(), static_cast<DWORD>(line.size()));
}

}  // namespace log
}  // namespace tessel
