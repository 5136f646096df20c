// Removal of a folder with everything in it, on the narrow (ANSI) file functions.
#pragma once
#include <string>

// Removes the folder `path` (with or without a trailing "\\" or "/") and its content, depth-first,
// in the order the file system lists the entries. Best effort and silent: an entry that cannot be
// removed stays, and so do the folders above it. Files are deleted without changing their
// attributes, so read-only files stay. Sub-folders whose name begins with '.' are never entered.
// Folder links (junctions, directory symbolic links: any folder that is a reparse point) are
// never followed: only the link itself is removed and its target stays untouched; this holds for
// `path` itself too. The recursion depth is the folder depth, which the narrow functions' path
// limit bounds.
// Returns true when `path` itself was removed; an empty `path` removes nothing and gives false.
// File-system failures never throw; only running out of memory does.
bool remove_folder(const std::string& path);
