// Removal of folders through handles that never follow a reparse point (Windows). Paths are wide
// and may be in the extended form ("\\?\").
#pragma once
#include <string>
#include <vector>

namespace tailrun {

// Removes the folder `path` (no trailing separator) and everything in it. Each entry is opened as
// itself (a link is not followed), checked by its handle and deleted by its handle; a folder is
// held open without delete sharing while its entries go, so that nobody can re-point it meanwhile.
// A link, `path` itself included, goes as a link; its target is untouched. Sub-folders whose names
// begin with '.' stay, and so do entries that cannot be deleted (a read-only file, one in use) and
// the folders above them. The depth is bounded. True when `path` itself went. Never throws.
bool remove_tree(const std::wstring& path);

// Removes from `temp_folder` (ending with a backslash) the working folders of runs that ended
// without their clean-up: folders named `prefix` and a number, no reparse points, that hold the
// file `marker` and whose marker can be opened for deletion, which a live run's cannot. Returns
// the names of the folders removed whole. Never throws.
std::vector<std::wstring> remove_leftover_folders(const std::wstring& temp_folder, const std::wstring& prefix,
                                                   const std::wstring& marker);

}  // namespace tailrun
