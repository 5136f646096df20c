// Every message box of a run: its caption and text, in one place.
#pragma once

namespace tailrun {

struct run_message {
  const char* caption;
  const char* text;  // for the package failures: the front of "File: <path>\rError: <system text>"
};

namespace messages {

extern const run_message already_running;
extern const run_message no_temporary_folder;
extern const run_message no_working_folder;
extern const run_message invalid_archive;
extern const run_message spawn_failed;
extern const run_message wait_failed;
extern const run_message no_exit_code;
// Logged only: the user cancelled the run in the progress window.
extern const run_message cancelled;

// Package failures: the caption; the text names the path and the system's reason.
extern const char open_failed[];
extern const char no_chain[];
extern const char extract_failed[];

// An exception that ended the run: the caption is its what() text, or no_context.
extern const char unhandled_text[];
extern const char no_context[];

}  // namespace messages

}  // namespace tailrun
