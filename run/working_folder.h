// The run's working folder: a new folder under the temporary folder, named "QVT" + a number, that
// this run created itself (the system makes it private to SYSTEM, Administrators and the run's user).
#pragma once
#include <cstdint>
#include <string>

namespace tailrun {

// How many names one run tries before it gives up.
constexpr int working_folder_tries = 100;

// "QVT" + `number` as a signed decimal + "\\", for example "QVT1553265329\\" or "QVT-5\\".
std::string working_folder_name(std::int32_t number);

// Offers the names for `first`, `first` + 1, ... (wrapping as 32-bit signed numbers do) to
// `create`, a callable taking the name and returning true once it has created that folder itself.
// Stops at the first success or after `working_folder_tries` names. Returns the created name, or
// empty when none was created.
template <class Create>
std::string create_first_free(std::int32_t first, Create&& create) {
  for (std::uint32_t step = 0; step < working_folder_tries; ++step) {
    std::string name = working_folder_name(static_cast<std::int32_t>(static_cast<std::uint32_t>(first) + step));
    if (create(name)) return name;
  }
  return std::string();
}

}  // namespace tailrun
