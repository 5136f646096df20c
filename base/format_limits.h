// Buffer sizes shared by the narrow and wide formatters.
#pragma once
#include <cstddef>

namespace tessel {
namespace format_limits {

constexpr std::size_t initial_size = 1024;
// Far beyond any message of the program; stops the doubling when a wide formatter keeps failing
// for a reason other than room (it reports both the same way).
constexpr std::size_t largest_size = std::size_t{1} << 28;

}  // namespace format_limits
}  // namespace tessel
