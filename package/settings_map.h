// The run's named settings: narrow key to narrow value, keys unique and ordered byte-wise
// (unsigned bytes, so case-sensitive). The empty text is a valid key and a valid value.
#pragma once
#include <map>
#include <string>

namespace tailrun {

// The keys of the settings that the run reads or sets itself.
namespace setting_key {
constexpr char source[] = "source";             // the working folder, set by the run
constexpr char command_line[] = "commandline";  // the stub's command line without its "/V" option, set by the run
constexpr char parameters[] = "parameters";     // the installer's parameters
constexpr char executable[] = "executable32";   // the file to launch, relative to the working folder
constexpr char msi_log[] = "msilog";            // "ON": the installer writes a log
}  // namespace setting_key

class settings_map {
 public:
  using container = std::map<std::string, std::string>;

  // Adds key -> value unless the key is present; an existing key keeps its value. True if added.
  bool insert_if_absent(const std::string& key, const std::string& value) {
    return entries_.emplace(key, value).second;
  }

  // The value of `key`, first added with the empty value when missing.
  std::string& operator[](const std::string& key) { return entries_[key]; }

  // The value of `key`, or null when missing. Never adds.
  const std::string* find(const std::string& key) const {
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
  }

  std::size_t size() const { return entries_.size(); }
  container::const_iterator begin() const { return entries_.begin(); }
  container::const_iterator end() const { return entries_.end(); }

 private:
  container entries_;
};

}  // namespace tailrun
