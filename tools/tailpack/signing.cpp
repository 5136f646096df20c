#include "tools/tailpack/signing.h"

#include <algorithm>

#include "pe/image.h"
#include "package/record.h"
#include "tools/tailpack/core.h"

namespace tailpack {

namespace {

constexpr std::size_t head_size = 4096;
const char msi_magic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
// The name of an MSI's signature stream as its directory holds it: UTF-16LE, after U+0005.
const std::string signature_stream("\x05\0D\0i\0g\0i\0t\0a\0l\0S\0i\0g\0n\0a\0t\0u\0r\0e\0", 34);

}  // namespace

void unsigned_code_probe::take(const char* bytes, std::size_t count) {
  if (head_.size() < head_size) head_.append(bytes, std::min(count, head_size - head_.size()));
  if (msi_signature_ || head_.compare(0, 8, msi_magic, 8) != 0) return;
  std::string window = tail_;
  window.append(bytes, count);
  msi_signature_ = window.find(signature_stream) != std::string::npos;
  tail_ = window.substr(window.size() - std::min(window.size(), signature_stream.size() - 1));
}

std::string unsigned_code_probe::unsigned_kind() const {
  if (head_.compare(0, 8, msi_magic, 8) == 0) return msi_signature_ ? "" : "an MSI";
  memory_source image(head_);
  pe_headers headers;
  if (!read_pe_headers(image, headers).empty()) return "";
  return headers.certificate_size != 0 ? "" : "a program";
}

signing_facts signing_of(byte_source& file, const walk_result& walk) {
  signing_facts facts;
  const std::int64_t size = file.seek_end();
  if (size < 0) return facts;
  const signed_region region = find_signed_region(file, static_cast<std::uint64_t>(size));
  facts.is_signed = region.table != 0 && !region.refused;
  facts.table = region.table;
  facts.table_size = region.table_size;
  if (walk.marker_offset >= 0) facts.chain_end = static_cast<std::uint64_t>(walk.marker_offset) + tail_marker_record_size;
  return facts;
}

}  // namespace tailpack
