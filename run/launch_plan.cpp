#include "run/launch_plan.h"

#include "run/command_line.h"
#include "package/placeholders.h"

namespace tailrun {

std::string prepare_settings(settings_map& settings, const std::string& working_folder,
                             const std::string& command_line) {
  settings[setting_key::source] = working_folder.substr(0, working_folder.empty() ? 0 : working_folder.size() - 1);
  return split_command_line(command_line, settings);
}

bool is_run_setting(const std::string& key) { return key == setting_key::source || key == setting_key::command_line; }

void compose_parameters(settings_map& settings, const std::string& working_folder, const std::string& v_text,
                        const std::function<bool(const std::string&)>& use_msi_log) {
  assemble_parameters(settings, v_text);
  if (const auto log_path = msi_log_path(settings, base_folder_of(working_folder))) {
    if (!use_msi_log || use_msi_log(*log_path)) apply_msi_log_option(settings, *log_path);
  }
}

launch_plan plan_launch(settings_map& settings, const std::string& working_folder) {
  launch_plan plan;
  plan.parameters = expand_placeholders(settings[setting_key::parameters], settings);
  plan.file = working_folder + expand_placeholders(settings[setting_key::executable], settings);
  plan.directory = launch_directory(base_folder_of(working_folder));
  return plan;
}

}  // namespace tailrun
