// The installer language on Windows: the registry reads and the one write around choose_language
// (language.h).
#pragma once
#include <string>

// `parameters` with the "/L" option of the installed product's language in front, when the
// product's uninstall entry has one and `parameters` hold no "/L" yet. `product` and `family`
// name the registry keys:
//   read   HKEY_LOCAL_MACHINE "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product,
//          values "InstallerLanguage" and "en_US_UK";
//   write  HKEY_CURRENT_USER "Software\\" + family + "\\" + product + "\\Settings", value
//          "Language" (written empty when US English stays on a US English system, and only when
//          that key already exists).
// A switch to UK English is logged as "Install Language set to \"2057\"". Never throws and shows
// nothing: each registry step that fails falls back on its own, and any other failure returns
// `parameters` unchanged.
std::string apply_installer_language(const std::string& parameters, const std::wstring& product,
                                     const std::wstring& family);
