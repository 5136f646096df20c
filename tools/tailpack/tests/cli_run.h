// Runs tailpack's command line in-process and keeps what it wrote, for the command tests.
#pragma once
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/tailpack/cli.h"

namespace testing_cli {

struct outcome {
  int status;
  std::string out, err;
};

inline outcome tailpack_run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = tailpack::run(args, out, err);
  return {status, out.str(), err.str()};
}

inline std::size_t lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A usage error: the usage exit status, one line on stderr naming `message`, nothing on stdout.
inline void expect_usage_error(const std::vector<std::string>& args, const std::string& message) {
  const outcome r = tailpack_run(args);
  EXPECT_EQ(r.status, tailpack::exit_usage) << r.err;
  EXPECT_TRUE(contains(r.err, message)) << r.err;
  EXPECT_EQ(lines(r.err), 1u) << r.err;
  EXPECT_EQ(r.out, "");
}

}  // namespace testing_cli
