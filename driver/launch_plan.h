// What the stub launches, composed from its command line and the package's settings. The stub's
// run and `tailpack explain` share this code, so what explain prints is what the stub does
// (except the registry-dependent "/L" language option, which needs the installed product).
#pragma once
#include <functional>
#include <string>

#include "package/settings_map.h"

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

// After the package's settings are in: merges the "/V" text and the MSI log option into
// "parameters" (`on_msi_log` receives the installer log path first, when the package asks for the
// log). Both steps fall back on failure and keep "parameters".
void compose_parameters(settings_map& settings, const std::string& working_folder, const std::string& v_text,
                        const std::function<void(const std::string&)>& on_msi_log);

// The file, parameters (placeholders expanded) and directory of the launch.
launch_plan plan_launch(settings_map& settings, const std::string& working_folder);
