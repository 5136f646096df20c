// libFuzzer target: the chain walk over arbitrary bytes, with a read block size taken from the
// input's first byte, placeholder expansion with settings taken from the input, and the
// stored-name check. Built by the `fuzz` preset, run by scripts/fuzz. With TAILRUN_FUZZ_SEEDS=DIR
// set, it first writes the test packages into DIR.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "package/chain.h"
#include "base/little_endian.h"
#include "package/fuzz/reseal.h"
#include "package/md5.h"
#include "package/placeholders.h"
#include "package/stored_name.h"
#include "package/tests/sample_packages.h"

using namespace tailrun;

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Expansion can multiply a text's length once per nesting level. Estimates the largest result
// (every placeholder inserting the largest expansion one level down, no deeper than there are
// settings) so that inputs built to exhaust memory are skipped rather than reported.
bool expansion_is_small(const settings_map& settings, const std::string& text) {
  std::uint64_t longest = text.size(), placeholders = text.size() / 2;
  for (const auto& setting : settings) {
    longest = std::max<std::uint64_t>(longest, setting.second.size());
    placeholders = std::max<std::uint64_t>(placeholders, setting.second.size() / 2);
  }
  constexpr std::uint64_t limit = 1 << 20;
  std::uint64_t bound = longest;
  for (std::size_t depth = 0; depth <= settings.size() && bound <= limit; ++depth)
    bound = longest + placeholders * bound;
  return bound <= limit;
}

void expand_all(const settings_map& settings, const std::string& text) {
  if (!expansion_is_small(settings, text)) return;
  const std::string expanded = expand_placeholders(text, settings);
  if (text.find('%') == std::string::npos) check(expanded == text);
}

// Keeps what the walk hands over: entries, settings as the stub inserts them, and file data.
class recorder final : public chain_consumer {
 public:
  payload_sink* file_data(const chain_entry&) override {
    pending_.emplace(data_);
    return &*pending_;
  }
  bool entry(chain_entry& entry) override {
    if (entry.kind == entry_kind::file) {
      check(pending_ && pending_->whole() && data_.size() == entry.data_size);
      files.push_back(data_);
      pending_.reset();
    }
    if (entry.kind == entry_kind::file) is_safe_stored_name(entry.value);
    insert_setting(entry, settings);
    entries.push_back(entry.kind_text + '\0' + entry.key + '\0' + entry.value + '\0' +
                      std::to_string(entry.start) + ',' + std::to_string(entry.end));
    return true;
  }
  settings_map settings;
  std::vector<std::string> entries, files;

 private:
  std::string data_;
  std::optional<text_sink> pending_;
};

// The walk as the stub does it, with its invariants; a walk in blocks of `block_size` must see
// exactly what a walk in the usual blocks sees.
void walk_input(const std::string& bytes, std::size_t block_size) {
  memory_source source(bytes), again(bytes);
  recorder seen, usual;
  const walk_result result = walk_chain(source, seen, block_size);
  const walk_result reference = walk_chain(again, usual);
  check(result.accepted == reference.accepted && result.stop == reference.stop &&
        result.records_read == reference.records_read && result.failed_at == reference.failed_at);
  check(seen.entries == usual.entries && seen.files == usual.files);
  check(result.stop != walk_stop::consumer && result.stop != walk_stop::sink_failed);
  if (result.stop == walk_stop::digest_mismatch) check(!result.accepted);
  if (result.stop == walk_stop::no_marker) check(!result.accepted && result.records_read == 0);
  // Every record read whole covers at least 20 bytes of the file; the last read may have failed.
  check(result.records_read <= bytes.size() / 20 + 1);
  check(result.stop == walk_stop::stub || !describe_stop(result).empty());
  for (const auto& setting : seen.settings) expand_all(seen.settings, setting.second);
}

// Settings from the input's lines "key=value", then each line expanded with them.
void expand_input(const std::string& bytes) {
  settings_map settings;
  std::size_t start = 0;
  while (start <= bytes.size()) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    const std::string line = bytes.substr(start, end - start);
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) settings.insert_if_absent(line.substr(0, equals), line.substr(equals + 1));
    start = end + 1;
  }
  start = 0;
  while (start <= bytes.size()) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    expand_all(settings, bytes.substr(start, end - start));
    is_safe_stored_name(bytes.substr(start, end - start));
    start = end + 1;
  }
}

void write_seeds(const char* folder) {
  std::vector<std::pair<std::string, std::string>> seeds = samples::all();
  seeds.emplace_back("placeholders.txt", "a=%b%%b%\nb=50%\nc=%%a%x%c%\nd=%e%\ne=%d%\n%a%b%%c% %d% 100%%\n");
  for (const auto& seed : seeds) {
    std::ofstream out(std::string(folder) + "/" + seed.first, std::ios::binary | std::ios::trunc);
    out.put('\x05');  // the block size
    out.write(seed.second.data(), static_cast<std::streamsize>(seed.second.size()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* folder = std::getenv("TAILRUN_FUZZ_SEEDS")) write_seeds(folder);
  return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t max_size,
                                               unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, max_size);
  if (seed % 4 != 0 && size > 0) reseal(data + 1, size - 1);
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the block size: 1 to 255 bytes, or the usual size for 0.
  const std::size_t block_size = data[0] == 0 ? record_block_size : data[0];
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  walk_input(bytes, block_size);
  expand_input(bytes);
  return 0;
}
