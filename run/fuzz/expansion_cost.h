// Whether a run's placeholder expansion stays small. Expansion can grow a text exponentially with
// its nesting (and take exponential time even when every value is empty); a run that exhausts
// memory there ends through its outer guard by design. run_fuzz skips such inputs rather than
// report them, as chain_fuzz does.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/chain.h"
#include "package/settings_map.h"
#include "run/launch_plan.h"

namespace expansion_cost {

constexpr std::uint64_t work_limit = 1 << 24;  // bytes built and placeholders met
constexpr std::size_t deepest_nesting = 32;     // as expand_placeholders nests

// The length that expand_placeholders gives `text`, found by the same scan without building the
// text; adds the work that building it would take to `work` and stops early past work_limit.
inline std::uint64_t expanded_size(const std::string& text, const settings_map& settings,
                                   std::vector<const std::string*>& active, std::uint64_t& work) {
  std::uint64_t size = text.size();
  std::size_t p = text.find('%');
  while (p != std::string::npos && work <= work_limit) {
    const std::size_t b = text.find_first_not_of('%', p);
    if (b == std::string::npos) break;
    const std::size_t c = text.find('%', b);
    if (c == std::string::npos) break;
    const std::string name = text.substr(b, c - b);
    const std::string* value = settings.find(name);
    bool on_path = false;
    for (const std::string* open : active) on_path = on_path || *open == name;
    ++work;
    if (value == nullptr || on_path || active.size() >= deepest_nesting) {
      p = c;
      continue;
    }
    active.push_back(&name);
    const std::uint64_t inserted = expanded_size(*value, settings, active, work);
    active.pop_back();
    size = size - (c - b + 2) + inserted;
    work += size;  // the replacement copies the text
    p = text.find('%', c + 1);
  }
  return size;
}

// The settings as the run composes them for this command line and package (every entry of the
// chain inserted, as a run that writes every file would), then the work of expanding
// "parameters" and "executable32".
inline bool is_small(const std::string& command_line, const std::string& package) {
  const std::string folder = "C:\\Temp\\QVT2147483646\\";
  settings_map settings;
  const std::string v_text = prepare_settings(settings, folder, command_line);
  memory_source source(package);
  walk_chain(source, [&](chain_entry& entry) {
    insert_setting(entry, settings);
    return true;
  });
  compose_parameters(settings, folder, v_text, nullptr);
  std::uint64_t work = 0;
  for (const char* key : {"parameters", "executable32"}) {
    if (const std::string* text = settings.find(key)) {
      std::vector<const std::string*> active;
      expanded_size(*text, settings, active, work);
    }
  }
  return work <= work_limit;
}

}  // namespace expansion_cost
