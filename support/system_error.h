// The operating system's message text for an error code.
#pragma once
#include <cstdint>
#include <string>

namespace tessel {

// FormatMessageA from the system table (inserts ignored, neutral language), without the line break
// that ends every system message; empty when the system has no message for `code`.
std::string system_error_text(std::uint32_t code);

}  // namespace tessel
