#include "tools/tailpack/stub_check.h"

#include <algorithm>
#include <cstdio>

#include "base/byte_source.h"
#include "package/stub_mark.h"
#include "tools/tailpack/files.h"
#include "pe/resource_section.h"
#include "tools/tailpack/text_view.h"
#include "pe/version_resource.h"
#include "tools/tailpack/core.h"

namespace tailpack {

namespace {

bool has_mark(const std::vector<pe_resource>& resources) {
  const std::string text = TAILRUN_STUB_MARK_TYPE_TEXT;
  const pe_resource_id type{0, std::u16string(text.begin(), text.end())};
  for (const pe_resource& r : resources)
    if (r.type == type && r.name == pe_resource_id{TAILRUN_STUB_MARK_ID, {}} &&
        r.data.compare(0, sizeof TAILRUN_STUB_MARK_TEXT - 1, TAILRUN_STUB_MARK_TEXT) == 0)
      return true;
  return false;
}

// What an image that is not a stub says it is: its version resource's product and file names.
std::string identity_of(const std::vector<pe_resource>& resources) {
  for (const pe_resource& r : resources) {
    if (!(r.type == pe_resource_id{pe_rt_version, {}})) continue;
    try {
      const version_node root = parse_version(r.data);
      const std::optional<std::string> product = version_string(root, "ProductName");
      const std::optional<std::string> file = version_string(root, "OriginalFilename");
      if (product || file)
        return " (" + std::string(product ? "ProductName " + quoted_utf8(*product) : "") + (product && file ? ", " : "") +
               (file ? "OriginalFilename " + quoted_utf8(*file) : "") + ")";
    } catch (const pe_error&) {
      // An unreadable version resource names nothing.
    }
  }
  return "";
}

}  // namespace

stub_image read_stub_image(std::string bytes) {
  stub_image stub;
  stub.bytes = std::move(bytes);
  memory_source source(stub.bytes);
  std::string problem = read_pe_layout(source, stub.layout);
  if (problem.empty()) problem = executable_problem(stub.layout.headers);
  if (!problem.empty()) throw failure(problem);
  problem = read_pe_resources(stub.bytes, stub.layout, stub.resources);
  if (!problem.empty()) throw failure("a Windows executable whose resources cannot be read (" + problem + ")");
  if (!has_mark(stub.resources))
    throw failure("a Windows executable" + identity_of(stub.resources) + " with " +
                  std::to_string(stub.layout.sections.size()) + " sections and " + std::to_string(stub.resources.size()) +
                  " resources, but not a Tailrun stub: it lacks the stub's mark, the resource " TAILRUN_STUB_MARK_TYPE_TEXT
                  " 1");
  return stub;
}

bool strip_signature(stub_image& stub) {
  const pe_headers& headers = stub.layout.headers;
  if (headers.certificate_size == 0) return false;
  if (headers.certificate_table + headers.certificate_size != stub.bytes.size())
    throw failure("the stub's certificate table does not end the file");
  // The signer pads with zeros to 8 bytes: drop zeros back to the end of the last section.
  std::uint64_t end = headers.certificate_table, last = stub.layout.size_of_headers;
  for (const pe_section& s : stub.layout.sections) last = std::max<std::uint64_t>(last, s.raw_offset + std::uint64_t{s.raw_size});
  while (end > last && stub.bytes[end - 1] == '\0') --end;
  stub.bytes.resize(end);
  const std::size_t entry = static_cast<std::size_t>(stub.layout.directories + pe_certificate_directory * 8);
  stub.bytes.replace(entry, 8, std::string(8, '\0'));
  update_checksum(stub.bytes, stub.layout);
  stub.layout.headers.certificate_table = stub.layout.headers.certificate_size = 0;
  return true;
}

std::string installed_stub_path() {
  const std::string program = program_path();
  const std::size_t last = program.find_last_of(path_separators());
  const std::string folder = last == std::string::npos ? "." : program.substr(0, last);
  const std::string stub = join_path(folder, TAILRUN_STUB_FROM_BIN);
  std::FILE* probe = open_file(stub, "rb");
  if (!probe) throw failure("--stub is missing, and there is no installed stub at " + stub);
  std::fclose(probe);
  return stub;
}

}  // namespace tailpack
