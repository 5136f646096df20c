// The program's only way to speak: a plain OK message box with no owner window.
#pragma once
#include <string>

#include "support/windows.h"

namespace tessel {

// Shows `text` under `caption` unless `silent`; returns when the user has closed it.
inline void message_box(bool silent, const std::string& caption, const std::string& text) {
  if (!silent) MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

}  // namespace tessel
