#include "package/placeholders.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tailrun {

namespace {

constexpr std::size_t deepest_nesting = 32;
// Nesting can grow a text exponentially (each level doubling it); the expansion stops once it has
// met this many placeholders and copied this many bytes, so that no package can make a run hang
// or exhaust memory here.
constexpr std::uint64_t most_work = std::uint64_t{1} << 20;

// `active` holds the names being expanded on the current path, outermost first; `missing`, when
// given, receives the names that are not keys, except a "name" that starts at the closing '%' of
// one that was not (in "%dir%\%file%" that would be "\").
std::string expand(const std::string& text, const settings_map& settings, std::vector<const std::string*>& active,
                   std::vector<std::string>* missing, std::uint64_t& work) {
  std::string result = text;
  std::size_t p = result.find('%');
  std::size_t unknown_end = std::string::npos;  // the closing '%' of the last name that was not a key
  while (p != std::string::npos && ++work <= most_work) {
    const std::size_t b = result.find_first_not_of('%', p);
    if (b == std::string::npos) break;
    const std::size_t c = result.find('%', b);
    if (c == std::string::npos) break;
    const std::string name = result.substr(b, c - b);
    const std::string* value = settings.find(name);
    bool on_path = false;
    for (const std::string* open : active) on_path = on_path || *open == name;
    if (value == nullptr && missing != nullptr && b - 1 != unknown_end &&
        std::find(missing->begin(), missing->end(), name) == missing->end())
      missing->push_back(name);
    if (value == nullptr || on_path || active.size() >= deepest_nesting) {
      if (value == nullptr) unknown_end = c;
      p = c;
      continue;
    }
    active.push_back(&name);
    const std::string inserted = expand(*value, settings, active, missing, work);
    active.pop_back();
    work += result.size() + inserted.size();
    if (work > most_work) break;
    result.replace(b - 1, c - b + 2, inserted);
    p = result.find('%', b - 1 + inserted.size());
  }
  return result;
}

}  // namespace

std::string expand_placeholders(const std::string& text, const settings_map& settings) {
  std::vector<const std::string*> active;
  std::uint64_t work = 0;
  return expand(text, settings, active, nullptr, work);
}

std::vector<std::string> unresolved_placeholders(const std::string& text, const settings_map& settings) {
  std::vector<const std::string*> active;
  std::vector<std::string> missing;
  std::uint64_t work = 0;
  expand(text, settings, active, &missing, work);
  return missing;
}

}  // namespace tailrun
