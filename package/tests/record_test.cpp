// The streaming record reader: payloads in blocks through MD5 into a sink, 64-bit positions, and
// what a consumer sees of data that does not verify.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

#include "package/chain.h"
#ifdef _WIN32
#include "package/win32_file_source.h"
#else
#include "package/posix_file_source.h"
#endif
#include "package/tests/sample_packages.h"

using namespace tailrun;

namespace {

using samples::record;
using samples::records;

// Records every call: the length announced, the blocks taken; refuses after `accept` blocks.
class recording_sink final : public payload_sink {
 public:
  explicit recording_sink(std::size_t accept = SIZE_MAX) : accept_(accept) {}
  bool begin(std::uint64_t length) override {
    ++begins;
    announced = length;
    return true;
  }
  bool take(const char* bytes, std::size_t count) override {
    if (blocks == accept_) return false;
    ++blocks;
    largest_block = std::max(largest_block, count);
    bytes_taken.append(bytes, count);
    return true;
  }
  int begins = 0;
  std::uint64_t announced = 0;
  std::size_t blocks = 0, largest_block = 0;
  std::string bytes_taken;

 private:
  std::size_t accept_;
};

TEST(record_reader, streams_payloads_of_any_length_in_blocks_of_any_size) {
  for (const std::size_t length : {0, 1, 7, 8, 9, 64, 1000}) {
    for (const std::size_t block : {1, 3, 8, 4096}) {
      SCOPED_TRACE(std::to_string(length) + " bytes in blocks of " + std::to_string(block));
      std::string payload(length, '\0');
      for (std::size_t i = 0; i < length; ++i) payload[i] = static_cast<char>(i * 7 + 1);
      memory_source source("prefix" + record(payload));
      source.seek_end();
      record_reader reader(source, block);
      recording_sink sink;
      ASSERT_EQ(reader.read(sink), record_status::ok);
      EXPECT_EQ(sink.begins, 1);
      EXPECT_EQ(sink.announced, length);
      EXPECT_EQ(sink.bytes_taken, payload);
      EXPECT_LE(sink.largest_block, block);
      EXPECT_EQ(source.position(), 6u);
      EXPECT_EQ(reader.last_start(), 6u);
    }
  }
}

// A sink that writes one block behind, as the stub's file writer does: it checks at each take and
// at end() that the block it still holds is unchanged, and counts end().
class lagging_sink final : public payload_sink {
 public:
  explicit lagging_sink(std::size_t throw_at = SIZE_MAX) : throw_at_(throw_at) {}
  bool take(const char* bytes, std::size_t count) override {
    check_held();
    if (++blocks == throw_at_) throw std::runtime_error("a failure while a block is in flight");
    held_ = bytes;
    copy_.assign(bytes, count);
    return true;
  }
  bool end() override {
    check_held();
    held_ = nullptr;
    ++ends;
    return true;
  }
  std::size_t blocks = 0;
  int ends = 0;
  bool held_changed = false;

 private:
  void check_held() {
    if (held_ != nullptr && std::string(held_, copy_.size()) != copy_) held_changed = true;
  }
  std::size_t throw_at_;
  const char* held_ = nullptr;
  std::string copy_;
};

// Reads succeed until the `fail_at`-th.
class failing_source final : public byte_source {
 public:
  failing_source(const std::string& bytes, int fail_at) : inner_(bytes), fail_at_(fail_at) {}
  bool seek(std::int64_t delta) override { return inner_.seek(delta); }
  std::int64_t seek_end() override { return inner_.seek_end(); }
  bool read(void* buffer, std::size_t count) override { return ++reads_ != fail_at_ && inner_.read(buffer, count); }
  std::uint64_t position() const override { return inner_.position(); }

 private:
  memory_source inner_;
  int fail_at_, reads_ = 0;
};

TEST(record_reader, a_sink_may_hold_the_last_block_until_the_next_take_and_always_hears_the_end) {
  std::string payload(40, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i);
  const std::string package = record(payload);
  struct outcome_case {
    int failing_read;        // 0: none; 1 is the trailer's read, 2 the first block's
    std::size_t throw_at;    // the take that throws, SIZE_MAX for none
    record_status expected;
  };
  const outcome_case cases[] = {
      {0, SIZE_MAX, record_status::ok},
      {4, SIZE_MAX, record_status::read_failed},  // a cancel or a failed read in the third block
      {0, 3, record_status::ok},                  // an exception in the third take
  };
  for (const outcome_case& c : cases) {
    SCOPED_TRACE(std::to_string(c.failing_read) + "/" + std::to_string(c.throw_at));
    failing_source source(package, c.failing_read);
    source.seek_end();
    record_reader reader(source, 8);
    lagging_sink sink(c.throw_at);
    if (c.throw_at != SIZE_MAX) {
      EXPECT_THROW(reader.read(sink), std::runtime_error);
    } else {
      EXPECT_EQ(reader.read(sink), c.expected);
    }
    EXPECT_EQ(sink.ends, 1);
    EXPECT_FALSE(sink.held_changed);
  }
}

TEST(record_reader, lengths_that_reach_outside_the_file_fail_before_the_sink_sees_anything) {
  const std::string cases[] = {
      std::string(19, '\0'),                                          // no room for a trailer
      "x" + record("ab").substr(2),                                   // length 2, one byte before it
      std::string("\xff\xff\xff\xff", 4) + std::string(16, '\0'),  // 4 GiB - 1
  };
  for (const std::string& bytes : cases) {
    memory_source source(bytes);
    source.seek_end();
    record_reader reader(source, 4);
    recording_sink sink;
    EXPECT_EQ(reader.read(sink), record_status::move_failed) << bytes.size();
    EXPECT_EQ(sink.begins, 0);
  }
}

TEST(text_sink, holds_at_most_its_limit_and_knows_the_whole_length) {
  std::string text;
  text_sink sink(text, 4);
  sink.begin(10);
  sink.take("abcdef", 6);
  sink.take("ghij", 4);
  EXPECT_EQ(text, "abcd");
  EXPECT_EQ(sink.length(), 10u);
  EXPECT_FALSE(sink.whole());
}

// Walks `source` and returns every entry met.
std::vector<chain_entry> walk_all(byte_source& source, walk_result& result) {
  std::vector<chain_entry> met;
  result = walk_chain(source, [&met](chain_entry& e) {
    met.push_back(e);
    return true;
  });
  return met;
}

TEST(walk_stream, a_kind_longer_than_every_kind_text_is_another_kind_even_if_it_starts_like_one) {
  const std::string long_kind = "value" + std::string(kind_text_limit, 'x');
  memory_source source(records({"Tailrun.exe", "stub", "stub", "k", long_kind, "2", "b", "value", tail_marker_text()}));
  walk_result result;
  const std::vector<chain_entry> met = walk_all(source, result);
  EXPECT_TRUE(result.accepted);
  ASSERT_EQ(met.size(), 3u);
  EXPECT_EQ(met[1].kind, entry_kind::other);
  EXPECT_EQ(met[1].kind_size, long_kind.size());
  EXPECT_EQ(met[1].kind_text.size(), kind_text_limit);
  EXPECT_EQ(met[1].key, "k");
}

// A text's length is checked before anything is held: over 1 MiB the record is bad, whatever its
// digest says; file data of that length is streamed as usual.
TEST(walk_stream, a_text_record_over_1_mib_rejects_the_chain) {
  const std::string big(longest_text + 1, 'v');
  walk_result result;
  memory_source texts(records({"Tailrun.exe", "stub", "stub", big, "k", "value", tail_marker_text()}));
  walk_all(texts, result);
  EXPECT_FALSE(result.accepted);
  EXPECT_EQ(result.stop, walk_stop::too_long);
  memory_source data(records({"Tailrun.exe", "stub", "stub", big, "f.bin", "k", "file", tail_marker_text()}));
  walk_all(data, result);
  EXPECT_TRUE(result.accepted);
  EXPECT_EQ(result.stop, walk_stop::stub);
}

// A consumer that gives every file a sink and notes which files took effect.
class file_watcher final : public chain_consumer {
 public:
  explicit file_watcher(std::size_t accept = SIZE_MAX) : sink(accept) {}
  payload_sink* file_data(const chain_entry& entry) override {
    opened.push_back(entry.value);
    return &sink;
  }
  bool entry(chain_entry& entry) override {
    if (entry.kind == entry_kind::file) completed.push_back(entry.value);
    return true;
  }
  recording_sink sink;
  std::vector<std::string> opened, completed;
};

TEST(walk_stream, file_data_that_fails_never_completes_its_entry) {
  const std::string good = samples::package(samples::stub_image(), "Tailrun.exe",
                                            {package_entry::make_file("a", "a.exe", std::string(50, 'a')),
                                             package_entry::make_file("b", "b.exe", std::string(50, 'b'))});
  std::string bad = good;
  bad[bad.find(std::string(50, 'b')) + 49] ^= 0x01;
  const struct {
    const char* name;
    const std::string& bytes;
    std::size_t accept;
    walk_stop stop;
    bool accepted;
    std::vector<std::string> completed;
  } cases[] = {
      {"both verify", good, SIZE_MAX, walk_stop::stub, true, {"b.exe", "a.exe"}},
      {"digest mismatch in b's last block", bad, SIZE_MAX, walk_stop::digest_mismatch, false, {}},
      {"the sink refuses b's data", good, 2, walk_stop::sink_failed, false, {}},
  };
  for (const auto& c : cases) {
    memory_source source(c.bytes);
    file_watcher watcher(c.accept);
    const walk_result result = walk_chain(source, watcher, 16);
    EXPECT_EQ(result.stop, c.stop) << c.name;
    EXPECT_EQ(result.accepted, c.accepted) << c.name;
    EXPECT_EQ(watcher.opened.front(), "b.exe") << c.name;
    EXPECT_EQ(watcher.completed, c.completed) << c.name;
  }
}

// Through the platform's package file: a sparse file past 4 GiB, a record across the boundary.
TEST(walk_stream, positions_past_4_gib_and_a_record_across_the_boundary) {
  const std::uint64_t four_gib = std::uint64_t{1} << 32;
  const std::string big(4096, 'v');
  const std::string tail = records({"Tailrun.exe", "stub", "stub", big, "a", "value", tail_marker_text()});
  const std::uint64_t size = four_gib + 1000;
  const std::uint64_t big_start = size - tail.size() + (11 + 20) + 2 * (4 + 20);
  ASSERT_LT(big_start, four_gib);
  ASSERT_GT(big_start + big.size(), four_gib);
  const struct removed {
    std::string path;
    ~removed() { std::remove(path.c_str()); }
  } file{testing::TempDir() + "tailrun-4gib-" +
         std::to_string(std::random_device{}() ^ std::chrono::steady_clock::now().time_since_epoch().count()) +
         ".bin"};  // the clock too: some random devices repeat their numbers in every run
  {
    std::ofstream out(file.path, std::ios::binary);
    out.seekp(static_cast<std::streamoff>(size - tail.size()));
    ASSERT_TRUE(out.write(tail.data(), static_cast<std::streamsize>(tail.size())).flush());
  }
#ifdef _WIN32
  tessel::unique_file handle = open_package_handle(std::wstring(file.path.begin(), file.path.end()));
  ASSERT_TRUE(handle);
  const std::unique_ptr<byte_source> source = make_file_source(std::move(handle));
#else
  std::string error;
  const std::unique_ptr<byte_source> source = open_package_file(file.path, &error);
  ASSERT_TRUE(source) << error;
#endif
  walk_result result;
  const std::vector<chain_entry> met = walk_all(*source, result);
  EXPECT_TRUE(result.accepted);
  EXPECT_EQ(result.stop, walk_stop::stub);
  ASSERT_EQ(met.size(), 2u);
  EXPECT_EQ(met[0].value, big);
  EXPECT_EQ(met[0].start, big_start);
  EXPECT_EQ(met[0].end, size - 42);
}

}  // namespace
