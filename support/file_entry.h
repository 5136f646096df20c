// Entries of a folder opened as themselves, and their removal without touching what a link points
// to (Windows). Paths are wide and may be in the extended form ("\\?\").
#pragma once
#include <string>

#include "support/handle.h"
#include "support/windows.h"

namespace tessel {

// The folder that holds `path` (a full path), opened to read its attributes and name, following
// links as an ordinary open does; `name` receives the last part of `path`. Invalid when it cannot
// be opened.
unique_file open_parent_folder(const std::wstring& path, std::wstring& name);

// The path of the open file or folder as the system names it, from its volume's root ("\a\b"); empty
// when it cannot be read. Under Wine each call costs a round trip to the mount manager: a caller
// that asks about many entries of one folder reads the folder's path once.
std::wstring system_path_of(HANDLE handle) noexcept;

// Whether the open `entry` is the entry `name` of the folder whose system_path_of is `folder_path`,
// judged by the path the system gives the entry's handle. False for a file that the system reached
// through a link at that name: Wine shows a Unix symbolic link to a file as a plain file, opens its
// target even when asked to open the link itself, and names the target's path. Also false when
// either path is empty or cannot be read.
bool is_entry_itself(const std::wstring& folder_path, HANDLE entry, const std::wstring& name) noexcept;
inline bool is_entry_itself(HANDLE folder, HANDLE entry, const std::wstring& name) noexcept {
  return is_entry_itself(system_path_of(folder), entry, name);
}

// Deletes the open `entry` (opened with DELETE), which stands as `name` in the folder whose path is
// `folder_path` and whose system_path_of is `folder_system_path`: by its handle when it is the
// entry itself (it goes when its last handle closes); otherwise (a link that the system resolved)
// by closing it and renaming a new empty file over the name, which replaces the link and never its
// target, then deleting that file. False when it cannot be deleted (a read-only file, one in use).
bool delete_entry(const std::wstring& folder_system_path, const std::wstring& folder_path, unique_file entry,
                  const std::wstring& name) noexcept;

// The file's number on its volume, which stays with the file through renames; false with the
// system's error when it cannot be read. Unlike GetFileInformationByHandle it does not ask for the
// volume's serial number (under Wine a round trip to the mount manager).
bool file_index_of(HANDLE file, unsigned long long& index) noexcept;

// Marks the open file or folder (opened with DELETE) to be deleted when its last handle closes, or
// clears the mark. The system deletes a marked entry also when the process is killed.
bool set_delete_pending(HANDLE entry, bool pending) noexcept;
inline bool delete_by_handle(HANDLE entry) noexcept { return set_delete_pending(entry, true); }

// Gives the open file (opened with DELETE) the full path `path`, replacing a file of that name.
bool rename_by_handle(HANDLE file, const std::wstring& path) noexcept;

}  // namespace tessel
