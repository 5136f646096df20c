#include "run/working_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

using namespace tailrun;

namespace {

// Offers names to a file system where `taken` already exist; returns the created name and
// records every name offered.
std::string create_with(std::int32_t first, const std::set<std::string>& taken, std::vector<std::string>& offered) {
  return create_first_free(first, [&](const std::string& name) {
    offered.push_back(name);
    return taken.count(name) == 0;
  });
}

TEST(working_folder, first_free_number_in_order) {
  const struct {
    std::int32_t first;
    std::set<std::string> taken;
    std::string created;
    std::size_t offers;
  } cases[] = {
      {0, {}, "QVT0\\", 1},
      {1000, {"QVT1000\\", "QVT1001\\", "QVT1002\\"}, "QVT1003\\", 4},
      // Only the next numbers count: a free lower number is never tried.
      {1000, {"QVT1000\\"}, "QVT1001\\", 2},
      {-2, {"QVT-2\\", "QVT-1\\"}, "QVT0\\", 3},
      // The 32-bit number wraps to the most negative value (as the time does after 2038).
      {std::numeric_limits<std::int32_t>::max(), {"QVT2147483647\\"}, "QVT-2147483648\\", 2},
  };
  for (const auto& c : cases) {
    std::vector<std::string> offered;
    EXPECT_EQ(create_with(c.first, c.taken, offered), c.created) << c.first;
    EXPECT_EQ(offered.size(), c.offers) << c.first;
  }
}

TEST(working_folder, gives_up_after_the_try_limit) {
  std::set<std::string> taken;
  for (int i = 0; i < working_folder_tries - 1; ++i) taken.insert(working_folder_name(50 + i));
  std::vector<std::string> offered;
  // The last allowed try still succeeds.
  EXPECT_EQ(create_with(50, taken, offered), working_folder_name(50 + working_folder_tries - 1));

  taken.insert(working_folder_name(50 + working_folder_tries - 1));
  offered.clear();
  EXPECT_EQ(create_with(50, taken, offered), "");
  ASSERT_EQ(offered.size(), 100u);
  EXPECT_EQ(offered.front(), "QVT50\\");
  EXPECT_EQ(offered.back(), "QVT149\\");
}

}  // namespace
