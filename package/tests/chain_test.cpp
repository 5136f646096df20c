// The record reader, the writer's layout, the walk's order and verdict, and the chain's edge cases.
#include <gtest/gtest.h>

#include <optional>

#include "package/chain.h"
#include "package/md5.h"
#include "pe/tests/pe_image.h"
#include "package/tests/sample_packages.h"

using namespace tailrun;

namespace {

using samples::concat;
using samples::record;
using samples::records;

const std::string marker = tail_marker_text();

std::string package_of(const std::vector<package_entry>& entries) {
  return samples::package(samples::stub_image(), "Tailrun.exe", entries);
}

struct walked {
  walk_result result;
  std::vector<chain_entry> entries;
  std::vector<std::string> data;  // each file entry's data, in the order met
};

// Keeps every entry and the data of each file entry.
class collector final : public chain_consumer {
 public:
  explicit collector(walked& out) : out_(out) {}
  payload_sink* file_data(const chain_entry&) override {
    pending_.clear();
    sink_.emplace(pending_);
    return &*sink_;
  }
  bool entry(chain_entry& entry) override {
    if (entry.kind == entry_kind::file) out_.data.push_back(pending_);
    out_.entries.push_back(std::move(entry));
    return true;
  }

 private:
  walked& out_;
  std::string pending_;
  std::optional<text_sink> sink_;
};

walked walk(const std::string& bytes, std::size_t block_size = record_block_size) {
  memory_source source(bytes);
  walked out;
  collector consumer(out);
  out.result = walk_chain(source, consumer, block_size);
  return out;
}

// "kind:key" for each entry met, for compact expectations.
std::vector<std::string> met(const walked& w) {
  std::vector<std::string> out;
  for (const chain_entry& e : w.entries) out.push_back(e.kind_text + ":" + e.key);
  return out;
}

TEST(round_trip, entries_come_back_tail_first_with_every_byte) {
  const std::string binary("\0\x01\xff\"\\%", 6);
  const std::vector<std::vector<package_entry>> cases = {
      {},
      {package_entry::make_value("", "")},
      {package_entry::make_file("", "empty.txt", "")},
      {package_entry::make_value(binary, binary), package_entry::make_file(binary, "b.bin", binary)},
      {package_entry::make_value("m", marker), package_entry::make_file("f", "m.bin", marker + marker)},
  };
  for (const std::vector<package_entry>& entries : cases) {
    SCOPED_TRACE(entries.size());
    const walked w = walk(package_of(entries), 3);  // records span many blocks
    EXPECT_TRUE(w.result.accepted);
    EXPECT_EQ(w.result.stop, walk_stop::stub);
    ASSERT_EQ(w.entries.size(), entries.size() + 1);
    std::uint64_t records_read = 1 + 2;  // the tail marker; the stub entry's kind and key
    std::size_t files = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const package_entry& given = entries[entries.size() - 1 - i];
      const chain_entry& got = w.entries[i];
      const bool is_file = given.kind == package_entry::type::file;
      EXPECT_EQ(got.kind, is_file ? entry_kind::file : entry_kind::value);
      EXPECT_TRUE(got.key == given.key && got.value == given.value.text()) << i;
      if (is_file) {
        ASSERT_LT(files, w.data.size());
        EXPECT_EQ(w.data[files++], given.data.text()) << i;
        EXPECT_EQ(got.data_size, given.data.size()) << i;
      }
      records_read += is_file ? 4 : 3;
    }
    EXPECT_EQ(w.entries.back().kind, entry_kind::stub);
    EXPECT_EQ(w.entries.back().key, "stub");
    EXPECT_EQ(w.result.records_read, records_read);
  }
}

TEST(round_trip, writer_lays_records_out_in_file_order) {
  const std::string image = samples::stub_image();
  const std::string expected = records({image, "Tailrun.exe", "stub", "stub", "data", "setup.exe", "inst", "file",
                                        "/qn", "parameters", "value", marker});
  EXPECT_EQ(package_of({package_entry::make_file("inst", "setup.exe", "data"),
                        package_entry::make_value("parameters", "/qn")}),
            expected);
}

TEST(tail_marker, candidate_starts_run_from_23_to_size_minus_23) {
  const std::string marker_record = samples::record(marker);
  for (const auto& [before, found] : {std::pair{22, false}, std::pair{23, true}, std::pair{40, true}}) {
    memory_source source(std::string(before, 'x') + marker_record);
    ASSERT_EQ(find_tail_marker(source), found) << before;
    if (found) {
      EXPECT_EQ(source.position(), before + 42u);
    }
  }
  // Only the marker text, ending at the last byte: candidates stop one byte short of it.
  memory_source bare(std::string(40, 'x') + marker);
  EXPECT_FALSE(find_tail_marker(bare));
  // Marker text at the highest candidate with no room for its record: found, so this is a failed
  // read of the first record, not a missing chain.
  const walk_result near_end = walk(std::string(40, 'x') + marker + "x").result;
  EXPECT_FALSE(near_end.accepted);
  EXPECT_EQ(near_end.stop, walk_stop::read_failed);
  EXPECT_EQ(near_end.records_read, 1u);
}

TEST(tail_marker, bytes_after_the_chain_are_passed_over) {
  const std::string package = package_of({package_entry::make_value("k", "v")});
  // Marker text ending at the last byte is never examined.
  for (const std::string& tail : {std::string(7, '\0'), marker, marker.substr(0, 21)})
    EXPECT_EQ(met(walk(package + tail)), (std::vector<std::string>{"value:k", "stub:stub"})) << tail.size();
  EXPECT_EQ(walk("no chain at all, but long enough to be searched").result.stop, walk_stop::no_marker);
}

TEST(digest, a_zero_byte_in_the_stored_digest_is_compared_like_any_other) {
  std::string value;
  for (int i = 0; value.empty(); ++i) {
    const std::string candidate = "value " + std::to_string(i);
    if (md5_digest(candidate.data(), candidate.size())[0] == '\0') value = candidate;
  }
  const std::string package = package_of({package_entry::make_value("k", value)});
  ASSERT_TRUE(walk(package).result.accepted);
  // The value record's digest starts right after its length field; change its last byte.
  const std::size_t value_record = package.find(value);
  std::string changed = package;
  changed[value_record + value.size() + 4 + 15] ^= 0x01;
  const walked w = walk(changed);
  EXPECT_FALSE(w.result.accepted);
  EXPECT_EQ(w.result.stop, walk_stop::digest_mismatch);
  EXPECT_EQ(w.result.failed_at, value_record);
}

// Every byte of every record, one at a time.
TEST(digest, one_changed_byte_in_a_record_that_is_read_rejects_and_in_the_stub_image_or_name_does_not) {
  const std::vector<std::string> payloads =
      concat(samples::stub_entry_payloads(), {"data", "setup.exe", "inst", "file", "/qn", "parameters", "value", marker});
  const std::string package = records(payloads);
  const std::vector<std::string> expected = {"value:parameters", "file:inst", "stub:stub"};
  ASSERT_EQ(met(walk(package)), expected);
  std::size_t record_start = 0;
  for (std::size_t r = 0; r < payloads.size(); ++r) {
    const std::size_t length_at = record_start + payloads[r].size();
    const std::size_t record_end = length_at + 20;
    for (std::size_t at = record_start; at < record_end; ++at) {
      SCOPED_TRACE("record " + std::to_string(r) + ", byte " + std::to_string(at));
      std::string changed = package;
      changed[at] ^= 0x01;
      const walked w = walk(changed);
      if (r < 2) {  // the stub image and the stub's file name are never read
        EXPECT_TRUE(w.result.accepted);
        EXPECT_EQ(met(w), expected);
      } else if (r == payloads.size() - 1 && at < length_at) {
        // The marker text itself: the search passes it by and finds the copy inside the stub image.
        EXPECT_FALSE(w.result.accepted);
      } else if (at < length_at || at >= length_at + 4) {  // payload or digest
        EXPECT_FALSE(w.result.accepted);
        EXPECT_EQ(w.result.stop, walk_stop::digest_mismatch);
      } else {  // a length: a mismatch, or a record reaching before the start or into the stub
        EXPECT_NE(w.result.stop, walk_stop::stub);
        EXPECT_FALSE(w.result.accepted);
      }
    }
    record_start = record_end;
  }
}

// A record trailer (length and a zero digest) with no payload before it.
std::string bare_trailer(std::uint32_t length) {
  std::string t(20, '\0');
  for (int i = 0; i < 4; ++i) t[i] = static_cast<char>(length >> (8 * i));
  return t;
}

TEST(walk, grammar_table) {
  const std::vector<std::string> stub = samples::stub_entry_payloads();
  const std::string chain_a = records({"1", "a", "value", marker});
  // A value whose record starts 16 bytes before the end of a stub image's section data.
  const std::string image = pe::minimal_image("stub"), reaching = image.substr(image.size() - 16) + "tail";
  const std::string into_stub =
      image + "tail" + records({reaching}).substr(reaching.size()) + records({"a", "value", marker});
  const struct {
    const char* name;
    std::string bytes;
    bool accepted;
    walk_stop stop;
    std::vector<std::string> met;
  } cases[] = {
      {"a two-record entry of another kind is passed over",
       records(concat(stub, {"1", "a", "value", "k", "xyz", "2", "b", "value", marker})), true, walk_stop::stub,
       {"value:b", "xyz:k", "value:a", "stub:stub"}},
      {"kind texts are compared exactly: Value is another kind",
       records(concat(stub, {"1", "a", "value", "k", "Value", "2", "b", "value", marker})), true, walk_stop::stub,
       {"value:b", "Value:k", "value:a", "stub:stub"}},
      {"a second tail marker between entries keeps the verdict",
       records(concat(stub, {"1", "a", "value", marker, "2", "b", "value", marker})), true, walk_stop::stub,
       {"value:b", marker + ":", "value:a", "stub:stub"}},
      {"a chain without stub entry running past the start is refused", chain_a, false, walk_stop::move_failed,
       {"value:a"}},
      {"a file entry cut short by the start of the file is not met", records({"name", "key", "file", marker}), false,
       walk_stop::move_failed, {}},
      {"a length reaching before the start refuses", "prefix" + bare_trailer(0x10000) + chain_a, false,
       walk_stop::move_failed, {"value:a"}},
      {"the largest length is never allocated or read", "prefix" + bare_trailer(0xffffffffu) + chain_a, false,
       walk_stop::move_failed, {"value:a"}},
      {"the largest payload length is never allocated or read", "prefix" + bare_trailer(2147483644u) + chain_a, false,
       walk_stop::move_failed, {"value:a"}},
      {"a record reaching into the stub's image refuses, though its digest matches", into_stub, false,
       walk_stop::into_stub, {}},
      {"a digest mismatch after an entry was met rejects",
       records(stub) + "x" + bare_trailer(1) + records({"2", "b", "value", marker}), false, walk_stop::digest_mismatch,
       {"value:b"}},
  };
  for (const auto& c : cases) {
    const walked w = walk(c.bytes);
    EXPECT_EQ(w.result.accepted, c.accepted) << c.name;
    EXPECT_EQ(w.result.stop, c.stop) << c.name;
    EXPECT_EQ(met(w), c.met) << c.name;
  }
}

}  // namespace
