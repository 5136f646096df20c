// Runs tailpack's command line in-process and keeps what it wrote, for the command tests; a
// fixture folder with a stub and an installer to make packages from.
#pragma once
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "package/tests/sample_packages.h"
#include "tools/tailpack/cli.h"
#include "pe/tests/pe_image.h"
#include "tools/tailpack/tests/stub_fixture.h"
#include "tools/tailpack/tests/test_files.h"

namespace testing_cli {

using namespace tailrun;

// The installer the tests pack: a program image, as the stub launches only those.
inline const std::string installer_image = pe::minimal_image("installer");

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

// `status`, and one line on stderr naming `message` (an error, or a warning with exit_ok).
inline void expect_one_err_line(const outcome& r, const std::string& message, int status = tailpack::exit_failure) {
  EXPECT_EQ(r.status, status) << r.err;
  EXPECT_TRUE(contains(r.err, message)) << r.err;
  EXPECT_EQ(lines(r.err), 1u) << r.err;
}

// A usage error: the usage exit status, one line on stderr naming `message`, nothing on stdout.
inline void expect_usage_error(const std::vector<std::string>& args, const std::string& message) {
  const outcome r = tailpack_run(args);
  expect_one_err_line(r, message, tailpack::exit_usage);
  EXPECT_EQ(r.out, "");
}

// Each of `parts` is found in `text`, in this order.
inline void expect_in_order(const std::string& text, const std::vector<std::string>& parts) {
  std::size_t from = 0;
  for (const std::string& part : parts) {
    const std::size_t at = text.find(part, from);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << part << "\nin:\n" << text;
    from = at + part.size();
  }
}

// A folder holding stub.exe (tailrun_stub) and
// setup.exe; `package` is where the tests write or create their package.
class package_folder : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_files::write(dir.path() / "stub.exe", stub);
    testing_files::write(dir.path() / "setup.exe", installer_image);
  }

  // tailpack create --stub stub.exe --output PACKAGE OPTIONS...
  outcome create(const std::vector<std::string>& options) {
    return tailpack_run(samples::concat({"create", "--stub", dir / "stub.exe", "--output", package}, options));
  }

  // The options of an installer that the stub can launch.
  std::vector<std::string> launchable() const {
    return {"--file", "installer32=" + (dir / "setup.exe"), "--value", "executable32=%installer32%"};
  }

  void write_package(const std::vector<package_entry>& entries) {
    testing_files::write(package, samples::package(stub, "Tailrun.exe", entries));
  }

  const std::string stub = tailrun_stub();
  testing_files::temp_folder dir;
  std::string package = dir / "p.exe";
};

}  // namespace testing_cli
