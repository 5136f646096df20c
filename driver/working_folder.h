// The run's working folder: a new folder under the temporary folder, named "QVT" + a number, that
// this run created itself and that only SYSTEM, Administrators and the run's user may open.
#pragma once
#include <cstdint>
#include <string>

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

// Windows only. Creates a new working folder in `temp_folder` (which ends with a backslash) with
// the names from `first` on, each with the protected access list of `private_folder_security`; a
// name that exists already, as a folder or a file, is never used. Returns `temp_folder` + the
// name (ending with a backslash), or empty when the access list cannot be built or no name could
// be created.
std::string create_working_folder(const std::string& temp_folder, std::int32_t first);
