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

// Whether the open `entry` is the entry `name` of the open folder `folder` itself, judged by the
// paths the system gives both handles. False for a file that the system reached through a link
// at that name: Wine shows a Unix symbolic link to a file as a plain file, opens its target even
// when asked to open the link itself, and names the target's path. Also false when either path
// cannot be read.
bool is_entry_itself(HANDLE folder, HANDLE entry, const std::wstring& name) noexcept;

// Deletes the open `entry` (opened with DELETE), which stands as `name` in the open folder `folder`
// whose path is `folder_path`: by its handle when it is the entry itself (it goes when its last
// handle closes); otherwise (a link that the system resolved) by closing it and renaming a new
// empty file over the name, which replaces the link and never its target, then deleting that
// file. False when it cannot be deleted (a read-only file, one in use).
bool delete_entry(HANDLE folder, const std::wstring& folder_path, unique_file entry, const std::wstring& name) noexcept;

// Marks the open file or folder (opened with DELETE) to be deleted when its last handle closes, or
// clears the mark. The system deletes a marked entry also when the process is killed.
bool set_delete_pending(HANDLE entry, bool pending) noexcept;
inline bool delete_by_handle(HANDLE entry) noexcept { return set_delete_pending(entry, true); }

// Gives the open file (opened with DELETE) the full path `path`, replacing a file of that name.
bool rename_by_handle(HANDLE file, const std::wstring& path) noexcept;

}  // namespace tessel
