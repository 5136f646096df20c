#include "driver/tree_removal.h"

#include "support/file_entry.h"
#include "support/handle.h"
#include "support/windows.h"

namespace tailrun {

namespace {

constexpr int deepest = 32;
// Opened as itself: a link is not followed, and a folder can be opened at all.
constexpr DWORD as_itself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Opens `path` for deletion (a folder also for listing); others may read and write it meanwhile,
// never rename or delete it. Invalid when it cannot be opened.
tessel::unique_file open_entry(const std::wstring& path, DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE) {
  return tessel::unique_file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY, sharing,
                                         nullptr, OPEN_EXISTING, as_itself, nullptr));
}

// FileBasicInfo, not GetFileInformationByHandle: that also asks for the volume's serial number,
// under Wine a round trip to the mount manager for every entry.
DWORD attributes_of(HANDLE entry) {
  FILE_BASIC_INFO info{};
  return GetFileInformationByHandleEx(entry, FileBasicInfo, &info, sizeof info) ? info.FileAttributes
                                                                                 : INVALID_FILE_ATTRIBUTES;
}

bool is_plain_folder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

struct listed_entry {
  std::wstring name;
  DWORD attributes;  // as the folder's listing gives them
};

// The entries of the open folder, read through its handle ("." and ".." left out).
std::vector<listed_entry> entries_of(HANDLE folder) {
  std::vector<listed_entry> names;
  alignas(8) unsigned char buffer[16384];
  while (GetFileInformationByHandleEx(folder, FileIdBothDirectoryInfo, buffer, sizeof buffer)) {
    for (std::size_t at = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
      const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") names.push_back({name, entry->FileAttributes});
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  return names;
}

// Removes what the open folder `path` holds, then the folder itself. A system may open a link's
// target despite the request to open the link itself (Wine, for a Unix symbolic link): a file
// reached so goes as a link (tessel::delete_entry), and a folder is entered only when both its
// listing and its handle show a plain folder that is the entry itself; a folder link stays.
bool remove_held(const std::wstring& path, HANDLE folder, int depth) {
  const std::wstring folder_path = tessel::system_path_of(folder);
  for (const listed_entry& entry : entries_of(folder)) {
    const std::wstring child = path + L"\\" + entry.name;
    tessel::unique_file opened = open_entry(child);
    if (!opened) continue;
    const DWORD attributes = attributes_of(opened.get());
    if (!is_plain_folder(attributes)) {
      tessel::delete_entry(folder_path, path, std::move(opened), entry.name);  // a file, or a link as itself
    } else if (is_plain_folder(entry.attributes) && entry.name[0] != L'.' && depth < deepest &&
               tessel::is_entry_itself(folder_path, opened.get(), entry.name)) {
      remove_held(child, opened.get(), depth + 1);
    }
  }
  return tessel::delete_by_handle(folder);
}

// The attributes of `path` itself as its folder lists it (a link is not followed).
DWORD listed_attributes(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  const tessel::unique_find found(FindFirstFileW(path.c_str(), &entry));
  return found ? entry.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool is_number(const std::wstring& text) {
  const std::size_t first = !text.empty() && text[0] == L'-' ? 1 : 0;
  if (first == text.size()) return false;
  for (std::size_t i = first; i < text.size(); ++i)
    if (text[i] < L'0' || text[i] > L'9') return false;
  return true;
}

}  // namespace

bool remove_tree(const std::wstring& path) {
  const tessel::unique_file folder = open_entry(path);
  if (!folder) return false;
  if (!is_plain_folder(attributes_of(folder.get()))) {
    return (attributes_of(folder.get()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && tessel::delete_by_handle(folder.get());
  }
  return is_plain_folder(listed_attributes(path)) && remove_held(path, folder.get(), 0);
}

std::vector<std::wstring> remove_leftover_folders(const std::wstring& temp_folder, const std::wstring& prefix,
                                                   const std::wstring& marker) {
  std::vector<std::wstring> removed;
  WIN32_FIND_DATAW entry;
  const tessel::unique_find listing(FindFirstFileW((temp_folder + prefix + L"*").c_str(), &entry));
  while (listing) {
    const std::wstring name = entry.cFileName;
    const std::wstring path = temp_folder + name;
    if (is_plain_folder(entry.dwFileAttributes) && is_number(name.substr(prefix.size()))) {
      const tessel::unique_file folder = open_entry(path);
      bool ended = false;
      if (folder && is_plain_folder(attributes_of(folder.get()))) {
        // Exclusive: a live run holds its marker open without delete sharing.
        const tessel::unique_file held = open_entry(path + L"\\" + marker, 0);
        ended = held && (attributes_of(held.get()) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
      }
      if (ended && remove_held(path, folder.get(), 0)) removed.push_back(name);
    }
    if (!FindNextFileW(listing.get(), &entry)) break;
  }
  return removed;
}

}  // namespace tailrun
