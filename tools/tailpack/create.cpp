#include "tools/tailpack/create.h"

#include <cstdio>
#include <memory>

#include "package/record.h"
#include "package/stored_name.h"
#include "run/folder_model.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/stub_check.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

// What the preview keeps of a file's data and of a --value-file value.
constexpr std::size_t preview_data_size = folder_model::program_head_size;
constexpr std::size_t preview_value_size = 32768;

void check_payload(const std::string& what, const record_payload& payload) {
  if (payload.size() > largest_payload)
    throw failure(what + " holds " + std::to_string(payload.size()) + " bytes, more than a record can hold (" +
                  std::to_string(largest_payload) + " bytes, 4 GiB - 1)");
}

// Keys, values and names are texts, which the stub refuses past longest_text.
void check_text(const std::string& what, const record_payload& payload) {
  check_payload(what, payload);
  if (payload.size() > longest_text)
    throw failure(what + " holds " + std::to_string(payload.size()) + " bytes, more than the stub reads as a text (" +
                  std::to_string(longest_text) + " bytes, 1 MiB)");
}

// The file at `path` as a payload: its size is taken now, its bytes are read when it is written.
record_payload file_payload(const std::string& path) {
  std::string reason;
  std::shared_ptr<byte_source> source = open_input_file(path, &reason);
  if (!source) throw failure("cannot open " + path + ": " + reason);
  try {
    return record_payload(std::move(source));
  } catch (const std::runtime_error& e) {
    throw failure("cannot read " + path + ": " + e.what());
  }
}

std::string describe(const entry_source& source) {
  switch (source.kind) {
    case entry_source::type::value:
      return "--value " + quoted(source.key);
    case entry_source::type::value_file:
      return "--value-file " + quoted(source.key) + "=" + source.path;
    case entry_source::type::file:
      break;
  }
  return "--file " + quoted(source.key) + "=" + source.path;
}

package_entry load_entry(const entry_source& source, bool unchecked_names) {
  switch (source.kind) {
    case entry_source::type::value:
      return package_entry::make_value(source.key, source.value);
    case entry_source::type::value_file:
      return package_entry::make_value(source.key, source.value);  // read by read_value_files
    case entry_source::type::file:
      break;
  }
  const std::string& name = source.name;
  const std::string problem = unchecked_names ? std::string() : stored_name_problem(name);
  if (!problem.empty()) throw failure(describe(source) + ": stored name " + quoted(name) + " " + problem);
  return package_entry::make_file(source.key, name, file_payload(source.path));
}

}  // namespace

std::string stored_name_problem(const std::string& name) { return check_stored_name(name).reason; }

std::string prepare_stub(const create_request& request, std::vector<std::string>& warnings) {
  const std::string what = "--stub " + request.stub_path;
  std::string bytes = read_head(request.stub_path, largest_stub + 1);
  if (bytes.size() > largest_stub) throw failure(what + ": larger than any stub (" + std::to_string(largest_stub) + " bytes)");
  stub_image stub;
  try {
    stub = read_stub_image(std::move(bytes));
  } catch (const failure& e) {
    throw failure(what + ": " + e.what());
  }
  if (stub.layout.headers.certificate_size != 0) {
    if (!request.strip_signature)
      throw failure(what + " is signed: the package would not keep that signature valid. Give an unsigned stub and "
                    "sign the package after create, or --strip-signature");
    strip_signature(stub);
    warnings.push_back("removed the signature of " + what + "; sign the package after create");
  }
  if (!request.brand.any()) return stub.bytes;
  const std::string icon = request.brand.icon.empty() ? "" : read_head(request.brand.icon, largest_stub + 1);
  return apply_brand(stub, request.brand, icon);
}

void read_value_files(create_request& request) {
  for (entry_source& source : request.entries) {
    if (source.kind != entry_source::type::value_file) continue;
    try {
      source.value = read_text_input(source.path, static_cast<std::size_t>(longest_text));
    } catch (const failure& e) {
      throw failure(describe(source) + ": " + e.what());
    }
    if (source.value.size() > longest_text)
      throw failure(describe(source) + " holds more than " + std::to_string(longest_text) +
                    " bytes, more than the stub reads as a text (1 MiB)");
  }
}

void check_output_is_no_input(const create_request& request) {
  const std::string kind = special_file_kind(request.output_path);
  if (!kind.empty())
    throw failure("--output " + request.output_path + " is " + kind +
                  ": only a regular file is replaced; it was left as it is and nothing was written");
  std::vector<std::string> inputs = {request.stub_path};
  if (!request.brand.icon.empty()) inputs.push_back(request.brand.icon);
  for (const entry_source& source : request.entries)
    if (source.kind != entry_source::type::value) inputs.push_back(source.path);
  for (const std::string& input : inputs)
    if (same_file(request.output_path, input))
      throw failure("--output " + request.output_path + " is the input " + input +
                    " (the same file): refusing to overwrite it; nothing was written");
}

std::vector<package_entry> load_entries(const create_request& request) {
  std::vector<package_entry> entries;
  entries.reserve(request.entries.size());
  for (const entry_source& source : request.entries) {
    entries.push_back(load_entry(source, request.unchecked_names));
    const package_entry& entry = entries.back();
    const std::string what = describe(source);
    check_text(what + " key", entry.key);
    check_text(what + (entry.kind == package_entry::type::file ? " name" : " value"), entry.value);
    check_payload(what + " data", entry.data);
  }
  return entries;
}

std::string stub_name_of(const create_request& request) {
  return request.stub_name_given ? request.stub_name : base_name(request.stub_path, path_separators());
}

create_summary create_package(const create_request& request, const std::vector<package_entry>& entries) {
  const record_payload stub = request.stub_image;
  const std::string stub_name = stub_name_of(request);
  check_text("--stub-name", stub_name);
  const std::uint64_t size = package_size(stub, stub_name, entries);

  // Each input is read once, its digest computed from the bytes written; one that was written to
  // meanwhile (its stamp changed) fails the create rather than give a package of mixed contents.
  std::vector<std::pair<std::string, std::string>> stamps;
  for (const entry_source& source : request.entries)
    if (source.kind == entry_source::type::file) stamps.emplace_back(source.path, file_stamp(source.path));
  const std::string temp = create_temp_beside(request.output_path);
  const interrupt_cleanup cleanup(temp);  // an interrupted create leaves no partial file
  try {
    file_sink sink(temp);
    write_package(sink, stub, stub_name, entries);
    sink.close();
    for (const auto& [path, stamp] : stamps)
      if (file_stamp(path) != stamp) throw failure(path + " changed while it was read; nothing was written");
    replace_file(temp, request.output_path);
  } catch (...) {
    remove_file(temp);
    throw;
  }
  return create_summary{size, entries.size()};
}

std::string preview_package(const create_request& request) {
  std::vector<package_entry> entries;
  for (const entry_source& source : request.entries) {
    switch (source.kind) {
      case entry_source::type::value:
        entries.push_back(package_entry::make_value(source.key, source.value));
        break;
      case entry_source::type::value_file:
        entries.push_back(package_entry::make_value(source.key, source.value.substr(0, preview_value_size)));
        break;
      case entry_source::type::file:
        entries.push_back(package_entry::make_file(source.key, source.name, read_head(source.path, preview_data_size)));
        break;
    }
  }
  string_sink sink;
  // The stub image whole: the walk reads its headers to know where the chain may begin.
  write_package(sink, request.stub_image, stub_name_of(request), entries);
  return sink.bytes();
}

}  // namespace tailpack
