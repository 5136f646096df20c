#include "run/language.h"

namespace tailrun {

language_choice choose_language(const std::optional<std::string>& installer_language, const std::string& us_uk_record,
                                std::uint16_t system_language) {
  language_choice choice;
  if (!installer_language) return choice;
  choice.language = *installer_language;
  if (us_uk_record.empty() && choice.language == us_english_language) {
    if (system_language == us_english_language_id) {
      choice.clear_user_language = true;
    } else {
      choice.language = uk_english_language;
      choice.log_uk_english = true;
    }
  }
  return choice;
}

bool has_language_option(const std::string& parameters) { return parameters.find("/L") != std::string::npos; }

std::string with_language_option(const std::string& parameters, const std::string& language) {
  if (language.empty() || has_language_option(parameters)) return parameters;
  return "/L" + language + " " + parameters;
}

}  // namespace tailrun
