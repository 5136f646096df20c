#include "driver/folder_security.h"
#include "driver/working_folder.h"

std::string create_working_folder(const std::string& temp_folder, std::int32_t first) {
  private_folder_security security;
  if (security.attributes() == nullptr) return std::string();
  // CreateDirectoryA fails for any existing entry of that name, folder or file, so a folder that
  // someone else prepared is never entered.
  const std::string name = create_first_free(first, [&](const std::string& candidate) {
    return CreateDirectoryA((temp_folder + candidate).c_str(), security.attributes()) != 0;
  });
  return name.empty() ? name : temp_folder + name;
}
