#include "run/working_folder.h"

#include "base/format.h"

std::string working_folder_name(std::int32_t number) {
  return tessel::format_text("QVT%i\\", static_cast<int>(number));
}
