#include "tools/tailpack/stub_judgement.h"

#include <algorithm>

#include "package/md5.h"
#include "package/record.h"
#include "tools/tailpack/files.h"
#include "pe/resource_section.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/stub_check.h"

namespace tailpack {

namespace {

// Holds an image record whole (a stub's image is no text, so longest_text does not bound it).
class image_sink final : public payload_sink {
 public:
  explicit image_sink(std::string& bytes) : bytes_(bytes) {}
  bool begin(std::uint64_t length) override { return length <= largest_stub; }
  bool take(const char* bytes, std::size_t count) override {
    bytes_.append(bytes, count);
    return true;
  }

 private:
  std::string& bytes_;
};

// Whether `image`, as the signer may have changed it, is what was packed under `digest`.
bool packed_as(std::string image, const pe_layout& layout, const std::string& digest) {
  const auto matches = [&digest](const std::string& bytes) { return md5_digest(bytes.data(), bytes.size()) == digest; };
  if (matches(image)) return true;
  const std::uint64_t entry = layout.directories + pe_certificate_directory * 8;
  if (layout.directory_count <= pe_certificate_directory || entry + 8 > image.size() ||
      layout.checksum_offset + 4 > image.size())
    return false;
  std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(entry), 8, '\0');
  std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(layout.checksum_offset), 4, '\0');
  if (matches(image)) return true;
  update_checksum(image, layout);
  return matches(image);
}

}  // namespace

stub_judgement judge_stub_image(byte_source& file, std::uint64_t stub_start) {
  stub_judgement judged;
  std::string name, image;
  record_reader reader(file);
  record_trailer trailer;
  text_sink name_sink(name);
  if (!file.seek_to(stub_start) || reader.read(name_sink) != record_status::ok ||
      !read_trailer(file, trailer) || !file.seek_to(file.position() + record_overhead)) {
    judged.problem = "the stub entry's file name record cannot be read";
    return judged;
  }
  if (trailer.length > largest_stub) {
    judged.problem = "the stub's image record holds " + std::to_string(trailer.length) + " bytes, more than any stub";
    return judged;
  }
  image_sink sink(image);
  const record_status read = reader.read(sink);
  if (read != record_status::ok && read != record_status::digest_mismatch) {
    judged.problem = "the stub's image record cannot be read";
    return judged;
  }
  stub_image stub;
  try {
    stub = read_stub_image(image);
  } catch (const failure& e) {
    judged.problem = std::string("the package does not begin with a Tailrun stub: ") + e.what();
    return judged;
  }
  std::uint64_t end = stub.layout.size_of_headers;
  for (const pe_section& s : stub.layout.sections) end = std::max<std::uint64_t>(end, s.raw_offset + std::uint64_t{s.raw_size});
  if (end > image.size()) {
    judged.problem = "the stub's image is cut short: its headers and sections reach " + std::to_string(end) +
                     " bytes, its record holds " + std::to_string(image.size());
    return judged;
  }
  if (read == record_status::digest_mismatch && !packed_as(image, stub.layout, trailer.digest)) {
    judged.changed = true;
    judged.problem = "the stub's image was changed after packing: its bytes differ from its record's digest beyond "
                     "the checksum and the security directory, which signing changes";
  }
  return judged;
}

}  // namespace tailpack
