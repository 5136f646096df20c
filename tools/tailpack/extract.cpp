#include "tools/tailpack/extract.h"

#include "package/stored_name.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

void refuse_unsafe_names(const std::vector<chain_entry>& entries) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const chain_entry& entry = entries[i];
    if (entry.kind != entry_kind::file || is_safe_stored_name(entry.value)) continue;
    throw failure("entry #" + std::to_string(i + 1) + ": refusing stored name " + quoted(entry.value) +
                  ": it could leave the folder or names a device; nothing was written");
  }
}

}  // namespace

extract_summary extract_to_folder(byte_source& file, const std::string& folder) {
  extract_summary summary;
  std::vector<chain_entry> entries;
  summary.result = walk_chain(file, [&entries](chain_entry& met) {
    entries.push_back(std::move(met));
    return true;
  });
  refuse_unsafe_names(entries);
  ensure_folder(folder);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    chain_entry& entry = entries[i];
    if (entry.kind == entry_kind::value) summary.settings.insert_if_absent(entry.key, entry.value);
    if (entry.kind != entry_kind::file) continue;
    if (!entry.key.empty()) summary.settings.insert_if_absent(entry.key, entry.value);
    const std::string path = join_path(folder, entry.value);
    write_whole_file(path, entry.data);
    summary.files.push_back(written_file{i + 1, path, entry.data.size()});
    std::string().swap(entry.data);  // written: release it
  }
  return summary;
}

}  // namespace tailpack
