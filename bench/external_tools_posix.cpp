// External MD5 programs on POSIX systems: openssl and md5sum through popen.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/external_tools.h"

namespace {

// The first whitespace-separated word that the command prints, or empty when it fails.
std::string first_word_of(const std::string& command) {
  std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return "";
  std::string output;
  char block[256];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) output.append(block, got);
  if (::pclose(pipe) != 0) return "";
  return output.substr(0, output.find_first_of(" \t\r\n"));
}

}  // namespace

std::vector<tool_result> run_external_tools(const std::string& bytes, int runs) {
  const char* folder = std::getenv("TMPDIR");
  std::string path = std::string(folder && *folder ? folder : "/tmp") + "/md5_bench.XXXXXX";
  const int fd = ::mkstemp(&path[0]);
  if (fd < 0) return {};
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    written = put > 0;
    done += written ? static_cast<std::size_t>(put) : 0;
  }
  ::close(fd);

  std::vector<tool_result> results;
  for (const char* command : {"openssl md5 -r", "md5sum"}) {
    tool_result result;
    result.name = command;
    for (int run = 0; written && run < runs; ++run) {
      const auto start = std::chrono::steady_clock::now();
      const std::string digest = first_word_of(std::string(command) + " '" + path + "'");
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (digest.size() != 32) break;
      result.digest_hex = digest;
      result.seconds = result.ran ? std::min(result.seconds, seconds) : seconds;
      result.ran = true;
    }
    results.push_back(result);
  }
  ::unlink(path.c_str());
  return results;
}
