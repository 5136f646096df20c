#include "support/system_error.h"

#include "support/handle.h"

namespace tessel {

std::string system_error_text(std::uint32_t code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0, nullptr);
  const unique_local owner(text);
  if (length == 0 || text == nullptr) return std::string();
  std::string result(text, length);
  // Every system message ends with a line break (two characters): drop it.
  result.erase(result.size() >= 2 ? result.size() - 2 : 0);
  return result;
}

}  // namespace tessel
