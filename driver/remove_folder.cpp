#include "driver/remove_folder.h"

#include "support/handle.h"
#include "support/windows.h"

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool is_folder_link(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// `folder` (ending in a separator) without that separator, when that still names the same entry:
// a trailing separator makes the system resolve a link, so links are only seen without it. A
// drive root ("X:\\", "\\") keeps its separator.
std::string without_trailing_separator(const std::string& folder) {
  const std::string name = folder.substr(0, folder.size() - 1);
  if (name.empty() || is_separator(name.back()) || name.back() == ':') return folder;
  return name;
}

void remove_entry(const std::string& folder, const WIN32_FIND_DATAA& entry) {
  const std::string path = folder + entry.cFileName;
  const DWORD attributes = entry.dwFileAttributes;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    // A file link is a file here: deleting it removes the link, not its target.
    DeleteFileA(path.c_str());
    return;
  }
  // Covers "." and ".." and keeps every dot-named sub-folder, such as ".cache".
  if (entry.cFileName[0] == '.') return;
  if (is_folder_link(attributes)) {
    RemoveDirectoryA(path.c_str());
    return;
  }
  remove_folder(path);
}

}  // namespace

bool remove_folder(const std::string& path) {
  // An empty path would become "\\", the root of the current drive.
  if (path.empty()) return false;
  std::string folder = path;
  if (!is_separator(folder.back())) folder += '\\';

  // Checked here rather than only by the caller's listing, so that a folder swapped for a link
  // after it was listed is not followed either.
  const std::string name = without_trailing_separator(folder);
  if (is_folder_link(GetFileAttributesA(name.c_str()))) return RemoveDirectoryA(name.c_str()) != 0;

  {
    WIN32_FIND_DATAA entry;
    const tessel::unique_find listing(FindFirstFileA((folder + '*').c_str(), &entry));
    if (!listing) return false;
    do {
      remove_entry(folder, entry);
    } while (FindNextFileA(listing.get(), &entry));
  }
  return RemoveDirectoryA(folder.c_str()) != 0;
}
