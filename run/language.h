// The installer language: which "/L" option the installer gets, decided from what the registry
// says about the product already installed. Portable; the registry reads and the one write are
// the caller's (language_registry.h on Windows).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace tailrun {

// Language numbers are decimal Windows language identifiers.
inline constexpr const char* us_english_language = "1033";
inline constexpr const char* uk_english_language = "2057";
// The system's default language identifier for English (United States).
inline constexpr std::uint16_t us_english_language_id = 0x0409;

// What to send and what to do besides.
struct language_choice {
  std::string language;              // the "/L" option's number; empty: no option
  bool clear_user_language = false;  // write the user's "Language" setting empty (when its key exists)
  bool log_uk_english = false;       // log that the language became UK English
};

// `installer_language`: the installed product's "InstallerLanguage" value, none when it cannot be
// read (no earlier installation); `us_uk_record`: its "en_US_UK" value, empty when missing or
// unreadable; `system_language`: the system's default language identifier.
// A product installed in US English without a US/UK record gets UK English, unless the system
// itself is US English: then US English stays and the user's language setting is cleared.
// Every other readable language is sent as it is; an empty one sends nothing.
language_choice choose_language(const std::optional<std::string>& installer_language, const std::string& us_uk_record,
                                std::uint16_t system_language);

// Whether `parameters` hold a language option already: "/L", case-sensitive (the "/l*v" of the MSI
// log option does not count).
bool has_language_option(const std::string& parameters);

// `parameters` with "/L" + `language` + " " in front, unless `language` is empty or `parameters`
// hold a language option already.
std::string with_language_option(const std::string& parameters, const std::string& language);

}  // namespace tailrun
