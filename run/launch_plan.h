// What the run launches, composed from its command line and the package's settings.
#pragma once
#include <functional>
#include <string>

#include "package/settings_map.h"

namespace tailrun {

struct launch_plan {
  std::string file;        // working folder + expanded "executable32"
  std::string parameters;  // expanded "parameters", with the "/V" text and MSI log option merged
  std::string directory;   // the base folder (a bare drive becomes its root)
};

// The driver's own settings, before the package's go in: "source" (the working folder without
// its trailing backslash) and "commandline" (the command line without its "/V" option).
// Returns the "/V" text. Never throws.
std::string prepare_settings(settings_map& settings, const std::string& working_folder,
                             const std::string& command_line);

// Whether the run sets this setting itself before it reads the package ("source", "commandline"),
// so that no package entry changes it.
bool is_run_setting(const std::string& key);

// After the package's settings are in: merges the "/V" text and the MSI log option into
// "parameters". When the package asks for the installer log, `use_msi_log` receives its path first
// and decides whether the option goes in. Both steps fall back on failure and keep "parameters".
void compose_parameters(settings_map& settings, const std::string& working_folder, const std::string& v_text,
                        const std::function<bool(const std::string&)>& use_msi_log);

// The file, parameters (placeholders expanded) and directory of the launch.
launch_plan plan_launch(settings_map& settings, const std::string& working_folder);

}  // namespace tailrun
