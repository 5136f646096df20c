// External MD5 programs for comparison with md5_context.
#pragma once
#include <string>
#include <vector>

struct tool_result {
  std::string name;        // the command, e.g. "openssl md5"
  bool ran = false;        // the program ran and printed a digest
  double seconds = 0;      // best of the runs, process start-up included
  std::string digest_hex;  // lower-case hex
};

// Writes `bytes` to a temporary file once and hashes it with each available external program
// (best of `runs`, the file in the page cache after the first). Empty where the platform has none.
std::vector<tool_result> run_external_tools(const std::string& bytes, int runs);
