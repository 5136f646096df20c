// The registry values behind the installer language: read for the run core's decision, and the
// one write it may ask for.
#pragma once
#include <string>

#include "run/system.h"

namespace tailrun {

// The installed product's uninstall entry, HKEY_LOCAL_MACHINE
// "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product: its "InstallerLanguage"
// (none when the key or value cannot be read) and, only when that was read, its "en_US_UK" (empty
// when it cannot be read); and the system's default language. Never throws.
language_facts read_language_facts(const std::wstring& product);

// Writes the value "Language" of HKEY_CURRENT_USER "Software\\" + family + "\\" + product +
// "\\Settings" empty, only when that key exists. Never throws: a refused write changes nothing.
void clear_user_language(const std::wstring& product, const std::wstring& family);

}  // namespace tailrun
