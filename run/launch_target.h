// Which file a run launches: "executable32", expanded, resolved in the working folder as Windows
// resolves a path, and checked against what the run wrote.
#pragma once
#include <string>

#include "run/folder_model.h"

namespace tailrun {

// `relative` joined to `folder` (which ends with a backslash) and resolved as Windows resolves a
// full path: '/' read as '\', runs of separators as one, "." components dropped, ".." going up
// (never above the root: "X:\" or "\\server\share\"), a single trailing period of a component
// dropped, and the trailing periods and spaces of the last component dropped.
std::string resolve_path(const std::string& folder, const std::string& relative);

struct launch_decision {
  bool launches = false;
  std::string file;       // the resolved path, which the run hands to the system
  bool outside = false;   // the file lies outside the working folder: the run cannot vouch for it
  const char* problem = "";  // why nothing is launched ("is not one that the package writes")
  std::string detail;     // more of why, or empty ("is empty (0 bytes)")
};

// The launch of `executable` (the expanded "executable32"). Inside the working folder only a file
// the run wrote can be launched, and one named *.exe or *.com only when its data is a program
// image; the folder itself or a folder above it never; and none whose path passes
// longest_launch_path. A path outside the working folder is launched when it fits (the system
// then decides).
launch_decision decide_launch(const folder_model& folder, const std::string& executable);

}  // namespace tailrun
