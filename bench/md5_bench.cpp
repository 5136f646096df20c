// MD5 throughput: md5_context over one buffer (256 MiB unless given in MiB as the argument), in one
// update as the stub digests a record, against external programs hashing the same bytes from a
// file, in one run. Prints MB/s (10^6 bytes per second) and the ratio. Reports figures only.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/external_tools.h"
#include "package/md5.h"

namespace {

constexpr int runs = 3;

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out += digits[static_cast<unsigned char>(c) >> 4];
    out += digits[static_cast<unsigned char>(c) & 0xf];
  }
  return out;
}

// Incompressible, reproducible bytes (xorshift64).
std::string sample_bytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint64_t state = 0x9e3779b97f4a7c15u;
  for (std::size_t i = 0; i < size; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (std::size_t j = 0; j < 8 && i + j < size; ++j) bytes[i + j] = static_cast<char>(state >> (8 * j));
  }
  return bytes;
}

double megabytes_per_second(std::size_t bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

}  // namespace

int main(int argc, char** argv) {
  const unsigned long mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  if (mebibytes == 0) {
    std::fprintf(stderr, "usage: md5_bench [MiB]\n");
    return 2;
  }
  const std::string bytes = sample_bytes(static_cast<std::size_t>(mebibytes) << 20);

  double best = 0;
  std::string digest;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    tailrun::md5_context context;
    context.update(bytes.data(), bytes.size());
    digest = hex(context.digest());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = run == 0 ? seconds : std::min(best, seconds);
  }
  const double own = megabytes_per_second(bytes.size(), best);
  std::printf("%lu MiB, best of %d runs\n", mebibytes, runs);
  std::printf("  %-16s %8.1f MB/s  %.3f s  %s\n", "md5_context", own, best, digest.c_str());

  const std::vector<tool_result> tools = run_external_tools(bytes, runs);
  if (tools.empty()) std::printf("  (no external programs to compare with on this platform)\n");
  for (const tool_result& tool : tools) {
    if (!tool.ran) {
      std::printf("  %-16s not available\n", tool.name.c_str());
      continue;
    }
    const double theirs = megabytes_per_second(bytes.size(), tool.seconds);
    std::printf("  %-16s %8.1f MB/s  %.3f s  %s%s  tailrun::md5_context/%s = %.2f\n", tool.name.c_str(), theirs, tool.seconds,
                tool.digest_hex.c_str(), tool.digest_hex == digest ? "" : " (DIGEST DIFFERS)", tool.name.c_str(),
                own / theirs);
  }
  return 0;
}
