#include "support/file_entry.h"

#include "support/handle.h"

namespace tessel {
namespace {

bool same_ignoring_case(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

unique_file open_parent_folder(const std::wstring& path, std::wstring& name) {
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return unique_file();
  name = path.substr(slash + 1);
  std::wstring folder = path.substr(0, slash);
  if (!folder.empty() && folder.back() == L':') folder += L'\\';  // a drive's root, not the drive
  return unique_file(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::wstring system_path_of(HANDLE handle) noexcept {
  try {
    // Most paths fit the first buffer; the longest path fits the second.
    for (const std::size_t room : {std::size_t{520}, std::size_t{32768}}) {
      std::wstring buffer(sizeof(FILE_NAME_INFO) / sizeof(wchar_t) + room, L'\0');
      auto* const info = reinterpret_cast<FILE_NAME_INFO*>(&buffer[0]);
      if (GetFileInformationByHandleEx(handle, FileNameInfo, info, static_cast<DWORD>(buffer.size() * sizeof(wchar_t))))
        return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (GetLastError() != ERROR_MORE_DATA) break;
    }
  } catch (...) {
  }
  return std::wstring();
}

bool is_entry_itself(const std::wstring& folder_path, HANDLE entry, const std::wstring& name) noexcept {
  try {
    if (folder_path.empty()) return false;
    const std::wstring found = system_path_of(entry);
    if (found.empty()) return false;
    return same_ignoring_case(found, folder_path.back() == L'\\' ? folder_path + name : folder_path + L'\\' + name);
  } catch (...) {
    return false;
  }
}

bool file_index_of(HANDLE file, unsigned long long& index) noexcept {
  // NtQueryInformationFile with FileInternalInformation (6): ntdll's, in every Windows since NT.
  using query_function = LONG(WINAPI*)(HANDLE, void* status, void* information, ULONG length, int kind);
  static const auto query = reinterpret_cast<query_function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  constexpr int file_internal_information = 6;
  ULONG_PTR status[2] = {};
  LONGLONG number = 0;
  if (query == nullptr || query(file, status, &number, sizeof number, file_internal_information) < 0) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return false;
  }
  index = static_cast<unsigned long long>(number);
  return true;
}

bool set_delete_pending(HANDLE entry, bool pending) noexcept {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = pending ? TRUE : FALSE;
  return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

bool rename_by_handle(HANDLE file, const std::wstring& path) noexcept {
  try {
    const std::size_t name_bytes = path.size() * sizeof(wchar_t);
    std::wstring buffer((sizeof(FILE_RENAME_INFO) + name_bytes) / sizeof(wchar_t) + 1, L'\0');
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(&buffer[0]);
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(name_bytes);
    path.copy(rename->FileName, path.size());
    return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size() * sizeof(wchar_t))) !=
           0;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

bool delete_entry(const std::wstring& folder_system_path, const std::wstring& folder_path, unique_file entry,
                  const std::wstring& name) noexcept {
  if (is_entry_itself(folder_system_path, entry.get(), name)) return delete_by_handle(entry.get());
  entry.reset();  // a system may refuse to replace a link whose target is open
  try {
    // A name of our own beside it, created new; it takes the link's place and then goes.
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
      const std::wstring stand_in = folder_path + L"\\~unlink" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount() + attempt) + L".tmp";
      const unique_file file(CreateFileW(stand_in.c_str(), DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
      if (!file) {
        if (GetLastError() == ERROR_FILE_EXISTS) continue;
        return false;
      }
      // Renamed while not delete-pending (as a system may require), and pending again before and
      // after, so that it goes with its handle whatever happens.
      if (!delete_by_handle(file.get()) || !set_delete_pending(file.get(), false)) return false;
      const bool renamed = rename_by_handle(file.get(), folder_path + L"\\" + name);
      return delete_by_handle(file.get()) && renamed;
    }
  } catch (...) {
  }
  return false;
}

}  // namespace tessel
