// A signed package: only the bytes before its certificate table count, and nothing may follow it.
#include <gtest/gtest.h>

#include "package/chain.h"
#include "pe/tests/pe_image.h"
#include "package/tests/sample_packages.h"

using namespace tailrun;

namespace {

// `image` with its security directory naming the table at `offset` of `size` bytes.
std::string with_table(std::string image, std::size_t offset, std::size_t size) {
  pe::put32(image, pe::security_entry(image), static_cast<std::uint32_t>(offset));
  pe::put32(image, pe::security_entry(image) + 4, static_cast<std::uint32_t>(size));
  return image;
}

walk_stop walk_of(const std::string& package) {
  memory_source source(package);
  return walk_chain(source, [](chain_entry&) { return true; }).stop;
}

TEST(signed_region, the_chain_must_end_at_the_table_and_the_table_at_the_end) {
  const std::string stub = pe::minimal_image("stub");
  const std::string chain = samples::package(stub, "Tailrun.exe", {package_entry::make_value("k", "v")});
  const std::string table(16, 'T');
  const auto signed_as = [&](const std::string& padding, const std::string& after, std::size_t at) {
    return with_table(chain, at, table.size()) + padding + table + after;
  };
  // The table right behind the chain, or after 1 to 7 zero bytes: the chain is found.
  EXPECT_EQ(walk_of(signed_as("", "", chain.size())), walk_stop::stub);
  EXPECT_EQ(walk_of(signed_as(std::string(5, '\0'), "", chain.size() + 5)), walk_stop::stub);
  // Bytes after the table, a table that does not start behind the chain, or one past the end.
  EXPECT_EQ(walk_of(signed_as("", "x", chain.size())), walk_stop::outside_signature);
  EXPECT_EQ(walk_of(signed_as("junk", "", chain.size() + 4)), walk_stop::outside_signature);
  EXPECT_EQ(walk_of(with_table(chain, chain.size(), 64) + table), walk_stop::outside_signature);
  // A chain appended to a signed stub: its table lies inside the stub image.
  const std::string signed_stub = with_table(stub, stub.size() - 64, 64);
  EXPECT_EQ(walk_of(samples::package(signed_stub, "Tailrun.exe", {package_entry::make_value("k", "v")})),
            walk_stop::outside_signature);
}

}  // namespace
