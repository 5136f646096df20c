#include "run/launch_plan.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tailrun;

namespace {

// The run's order: driver settings, then the package's (insert-if-absent), then composition.
launch_plan plan_for(const std::string& command_line, std::vector<std::pair<std::string, std::string>> package,
                     const std::string& working_folder, std::vector<std::string>* msi_logs = nullptr) {
  settings_map settings;
  const std::string v_text = prepare_settings(settings, working_folder, command_line);
  for (const auto& [key, value] : package) settings.insert_if_absent(key, value);
  compose_parameters(settings, working_folder, v_text, [&](const std::string& log) {
    if (msi_logs) msi_logs->push_back(log);
    return true;
  });
  return plan_launch(settings, working_folder);
}

TEST(launch_plan, example_package_with_command_line_and_msi_log) {
  std::vector<std::string> logs;
  const launch_plan plan = plan_for("/s /V\"B=2\"",
                                    {{"msilog", "ON"},
                                     {"parameters", "/V\"A=1\" /qb %source%"},
                                     {"executable32", "%installer32%"},
                                     {"installer32", "QVNEXSetup.exe"},
                                     {"source", "from the package"}},
                                    "C:\\Temp\\QVT7\\", &logs);
  EXPECT_EQ(plan.file, "C:\\Temp\\QVT7\\QVNEXSetup.exe");
  EXPECT_EQ(plan.parameters, "/s  /V\"/l*v \\\"C:\\Temp\\QVNEX_msi.log.txt\\\" B=2 A=1\" /qb C:\\Temp\\QVT7");
  EXPECT_EQ(plan.directory, "C:\\Temp");
  EXPECT_EQ(logs, std::vector<std::string>{"C:\\Temp\\QVNEX_msi.log.txt"});
}

TEST(launch_plan, empty_package_names_the_working_folder_and_a_drive_root_gets_its_backslash) {
  std::vector<std::string> logs;
  const launch_plan plan = plan_for("", {}, "D:\\QVT-5\\", &logs);
  EXPECT_EQ(plan.file, "D:\\QVT-5\\");
  EXPECT_EQ(plan.parameters, " /V\"\"");
  EXPECT_EQ(plan.directory, "D:\\");
  EXPECT_TRUE(logs.empty());
}

}  // namespace
