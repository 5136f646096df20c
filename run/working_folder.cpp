#include "run/working_folder.h"

#include "base/format.h"
#include "run/product.h"

namespace tailrun {

std::string working_folder_name(std::int32_t number) {
  return tessel::format_text(TAILRUN_WORKING_FOLDER_PREFIX "%i\\", static_cast<int>(number));
}

}  // namespace tailrun
