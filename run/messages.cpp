#include "run/messages.h"

namespace tailrun {

namespace messages {

const run_message already_running = {
    "Already Running",
    "Another installation is already running or in the process of starting up.\n"
    "Please wait until the other installation has completed before trying again."};
const run_message no_temporary_folder = {"GetTempPath failed", "Unable to get Temporary Directory"};
const run_message no_working_folder = {"SetCurrentDirectory failed", "Unable to set Working Directory"};
const run_message invalid_archive = {
    "Invalid Archive!",
    "We are sorry, but your installation / update did not complete due to unexpected download errors.\r\n"
    "Please download full version of the program"};
const run_message spawn_failed = {"ShellExecuteEx failed", "Unable to spawn process"};
const run_message wait_failed = {"WaitForSingleObject failed", "Unable to wait for process"};
const run_message no_exit_code = {"GetExitCodeProcess failed", "Unable to get process exit code"};
const run_message cancelled = {"Installation cancelled", "Cancelled by the user before the installer started"};

const char open_failed[] = "Failed to open archive!";
const char no_chain[] = "Failed to initialize archive!";
const char extract_failed[] = "Failed to extract file!";

const char unhandled_text[] = "Unhandled Exception";
const char no_context[] = "No context available";

}  // namespace messages

}  // namespace tailrun
