#include "tools/tailpack/extract.h"

#include "package/stored_name.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

// The decoded name is checked as well: a code page may decode ASCII bytes to other ASCII.
void refuse_unsafe_names(const std::vector<chain_entry>& entries, const text_view& view) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const chain_entry& entry = entries[i];
    if (entry.kind != entry_kind::file ||
        (is_safe_stored_name(entry.value) && is_safe_stored_name(view.decode(entry.value).value_or(entry.value))))
      continue;
    throw failure("entry #" + std::to_string(i + 1) + ": refusing stored name " + quoted(entry.value) +
                  ": it could leave the folder or names a device; nothing was written");
  }
}

// Refuses a link that stands on the way from `folder` to the file `name` (in a sub-folder).
void refuse_links_on_the_way(const std::string& folder, const std::string& name) {
  for (std::size_t at = name.find_first_of(path_separators()); at != std::string::npos;
       at = name.find_first_of(path_separators(), at + 1)) {
    const std::string on_the_way = join_path(folder, name.substr(0, at));
    if (is_link(on_the_way))
      throw failure("refusing to write " + join_path(folder, name) + ": " + on_the_way + " is a link");
  }
}

// Writes `data` to the new file `path`; removes what was written when that fails.
void write_new_file(const std::string& path, const std::string& data) {
  file_sink out(path, file_sink::mode::new_file);
  try {
    out.write(data.data(), data.size());
    out.close();
  } catch (...) {
    remove_file(path);
    throw;
  }
}

}  // namespace

extract_summary extract_to_folder(byte_source& file, const std::string& folder, const text_view& view) {
  extract_summary summary;
  std::vector<chain_entry> entries;
  summary.result = walk_chain(file, [&entries](chain_entry& met) {
    entries.push_back(std::move(met));
    return true;
  });
  refuse_unsafe_names(entries, view);
  ensure_folders(folder);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    chain_entry& entry = entries[i];
    if (entry.kind == entry_kind::value) summary.settings.insert_if_absent(entry.key, entry.value);
    if (entry.kind != entry_kind::file) continue;
    if (!entry.key.empty()) summary.settings.insert_if_absent(entry.key, entry.value);
    const std::string name = view.decode(entry.value).value_or(entry.value);
    refuse_links_on_the_way(folder, name);
    const std::string path = join_path(folder, name);
    write_new_file(path, entry.data);
    summary.files.push_back(written_file{i + 1, path, entry.data.size()});
    std::string().swap(entry.data);  // written: release it
  }
  return summary;
}

}  // namespace tailpack
