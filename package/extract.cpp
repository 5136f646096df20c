#include "package/extract.h"

#include "package/chain.h"
#include "package/stored_name.h"
#include "package/win32_file_source.h"
#include "support/handle.h"
#include "support/message_box.h"
#include "support/system_error.h"

namespace {

// "File: <path>\rError: <system text>" under `caption`, for the error code `code`.
void report_failure(bool silent, const char* caption, const std::string& path, DWORD code) {
  tessel::message_box(silent, caption, "File: " + path + "\rError: " + tessel::system_error_text(code));
}

// Writes one extracted file with a single write. False (and the error code) when it cannot be
// created; a failed or short write is not reported, as only creation decides the outcome.
bool write_file(const std::string& path, const std::string& data, DWORD& error) {
  tessel::unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    error = GetLastError();
    return false;
  }
  DWORD written = 0;
  if (!data.empty()) WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  return true;
}

}  // namespace

bool extract_package(std::string package_path, std::string working_folder, bool silent, settings_map& settings) {
  tessel::unique_file package = open_package_handle(package_path);
  if (!package) {
    report_failure(silent, "Failed to open archive!", package_path, GetLastError());
    return false;
  }
  win32_file_source source(package.get());
  bool file_failed = false;
  const walk_result result = walk_chain(source, [&](chain_entry& entry) {
    if (entry.kind == entry_kind::value) {
      settings.insert_if_absent(entry.key, entry.value);
    } else if (entry.kind == entry_kind::file) {
      if (!entry.key.empty()) settings.insert_if_absent(entry.key, entry.value);
      const std::string output = working_folder + entry.value;
      DWORD error = ERROR_INVALID_NAME;
      if (!is_safe_stored_name(entry.value) || !write_file(output, entry.data, error)) {
        report_failure(silent, "Failed to extract file!", output, error);
        file_failed = true;
        return false;
      }
    }
    return true;
  });
  if (result.stop == walk_stop::no_marker) {
    report_failure(silent, "Failed to initialize archive!", package_path, GetLastError());
    return false;
  }
  return result.accepted && !file_failed;
}
