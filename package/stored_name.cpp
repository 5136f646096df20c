#include "package/stored_name.h"

#include "base/ascii.h"

namespace tailrun {

namespace {

// A port's number: the digits 0 to 9 and the superscripts ¹ ² ³, which Windows reserves too; the
// superscripts as UTF-8 (the run's text) or as the single bytes of the Western code pages.
bool is_port_number(const std::string& text) {
  if (text.size() == 1) {
    const unsigned char c = static_cast<unsigned char>(text[0]);
    return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
  }
  return text == "\xC2\xB9" || text == "\xC2\xB2" || text == "\xC2\xB3";
}

bool is_device_name(const std::string& component) {
  // Windows maps these names to devices in every folder, with or without an extension.
  std::string base = ascii_upper(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
    return true;
  return (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && is_port_number(base.substr(3));
}

bool is_dots_and_spaces(const std::string& component) {
  return !component.empty() && component.find_first_not_of(". ") == std::string::npos;
}

}  // namespace

bool is_safe_stored_name(const std::string& name) {
  if (name.find(':') != std::string::npos) return false;
  if (!name.empty() && (name[0] == '\\' || name[0] == '/')) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of("\\/", start);
    const std::string component = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (is_dots_and_spaces(component) || is_device_name(component)) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

stored_name_verdict check_stored_name(const std::string& name) {
  if (name.empty()) return {error_invalid_name, "is empty"};
  if (!is_safe_stored_name(name)) return {error_invalid_name, "could leave the working folder or names a device"};
  if (name.find_first_of("\\/") != std::string::npos)
    return {error_path_not_found, "has a folder part, which a fresh working folder does not have"};
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || std::string("<>\"|?*").find(c) != std::string::npos)
      return {error_invalid_name, "holds a character that Windows does not allow in file names"};
  // Windows would drop them, and through "\\?\" a file would keep them that ordinary tools cannot
  // delete.
  if (created_file_name(name) != name) return {error_invalid_name, "ends with a dot or space, which Windows drops"};
  return {};
}

std::string created_file_name(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

}  // namespace tailrun
