#include "driver/language_registry.h"

#include <optional>

#include "support/handle.h"
#include "support/registry.h"
#include "support/windows.h"

namespace tailrun {

namespace {

// A text value of the installed product's uninstall entry; throws when the key or the value
// cannot be read. Both keys are closed on every path.
std::string read_uninstall_value(const std::wstring& product, const wchar_t* value) {
  const tessel::registry2::key root(HKEY_LOCAL_MACHINE);
  const tessel::registry2::key entry = root.open(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product);
  return entry.read_narrow_string(value);
}

// Whether `path` under `root` can be opened for reading; the key is closed again at once.
bool key_exists(HKEY root, const std::wstring& path) {
  HKEY found = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &found) != ERROR_SUCCESS) return false;
  const tessel::unique_hkey opened(found);
  return true;
}

}  // namespace

language_facts read_language_facts(const std::wstring& product) {
  language_facts facts;
  facts.system_language = GetSystemDefaultLangID();
  try {
    facts.installer_language = read_uninstall_value(product, L"InstallerLanguage");
  } catch (...) {
    return facts;  // no earlier installation (or none that can be read)
  }
  try {
    facts.us_uk_record = read_uninstall_value(product, L"en_US_UK");
  } catch (...) {
    // A missing record counts as an empty one.
  }
  return facts;
}

void clear_user_language(const std::wstring& product, const std::wstring& family) {
  try {
    const std::wstring path = L"Software\\" + family + L"\\" + product + L"\\Settings";
    if (!key_exists(HKEY_CURRENT_USER, path)) return;
    // The root key is closed as soon as the settings key is open.
    const tessel::registry2::key settings = tessel::registry2::key(HKEY_CURRENT_USER).open(path);
    settings.write_string(L"Language", L"");
  } catch (...) {
    // The setting stays as it was.
  }
}

}  // namespace tailrun
