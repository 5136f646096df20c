#include "package/md5.h"

#include <gtest/gtest.h>

#include <string>

using namespace tailrun;

namespace {

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

struct known_answer {
  std::string input;
  const char* digest;
};

TEST(md5, known_answers) {
  const known_answer cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Lengths at the padding edges: 55 leaves room for the length, 56 does not, 64 is one block.
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
  };
  for (const auto& c : cases) EXPECT_EQ(hex(md5_digest(c.input.data(), c.input.size())), c.digest) << c.input;
}

// Split updates of every shape agree with the one-shot digest around the padding edges.
TEST(md5, split_updates_agree_with_one_shot_at_padding_edges) {
  for (std::size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
    std::string data(length, '\0');
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<char>(i * 31 + 7);
    const std::string expected = md5_digest(data.data(), data.size());
    for (std::size_t chunk : {1u, 3u, 63u, 64u, 65u}) {
      md5_context context;
      for (std::size_t at = 0; at < length; at += chunk)
        context.update(data.data() + at, std::min(chunk, length - at));
      EXPECT_EQ(context.digest(), expected) << "length " << length << " chunk " << chunk;
    }
  }
}

TEST(md5, finalize_twice_and_update_after_finalize_change_nothing) {
  md5_context context;
  context.update("abc", 3);
  context.finalize();
  context.finalize();
  context.update("more", 4);
  EXPECT_EQ(hex(context.digest()), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
