#include "tools/tailpack/extract.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "package/stored_name.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

// A file's verified data in a temporary file in the folder, waiting for its stored name.
struct staged_file {
  std::size_t entry = 0;
  std::string temp;
  std::string name;  // as written: the stored name, decoded
  std::string path;
  std::uint64_t size = 0;
};

// Refuses a link that stands at `path` or on the way to it from `folder` (in a sub-folder named
// by the stored name `name`): renaming over a link replaces the link, but a link to a folder on the
// way would lead outside.
void refuse_links(const std::string& folder, const std::string& name, const std::string& path) {
  if (is_link(path)) throw failure("refusing to write " + path + ": a link stands there");
  for (std::size_t at = name.find_first_of(path_separators()); at != std::string::npos;
       at = name.find_first_of(path_separators(), at + 1)) {
    const std::string on_the_way = join_path(folder, name.substr(0, at));
    if (is_link(on_the_way)) throw failure("refusing to write " + path + ": " + on_the_way + " is a link");
  }
}

// Streams each file's data into a new temporary file in the folder. Files get their names only
// after the walk, so a refused name leaves nothing behind; every temporary file that was not
// renamed is removed, and the folder too when this extraction created it and refused a name.
class folder_extraction final : public chain_consumer {
 public:
  folder_extraction(const std::string& folder, const text_view& view) : folder_(folder), view_(view) {}

  ~folder_extraction() override {
    close_pending();
    for (const staged_file& file : staged_) remove_file(file.temp);
    if (refused_ && created_folder_) {
      std::error_code ignored;
      std::filesystem::remove(std::filesystem::u8path(folder_), ignored);
    }
  }

  payload_sink* file_data(const chain_entry& entry) override {
    const std::size_t number = met_ + 1;
    // The decoded name is checked as well: a code page may decode ASCII bytes to other ASCII.
    if (!is_safe_stored_name(entry.value) || !is_safe_stored_name(name_of(entry))) {
      refused_ = true;
      throw failure("entry #" + std::to_string(number) + ": refusing stored name " + quoted(entry.value) +
                    ": it could leave the folder or names a device; nothing was written");
    }
    if (!folder_ready_) {
      created_folder_ = ensure_folders(folder_);
      folder_ready_ = true;
    }
    close_pending();
    pending_temp_ = create_temp_beside(join_path(folder_, ".tailpack-extract"));
    pending_.emplace(pending_temp_);
    return &sink_;
  }

  bool entry(chain_entry& entry) override {
    ++met_;
    insert_setting(entry, settings_);
    if (entry.kind != entry_kind::file) return true;
    pending_->close();
    pending_.reset();
    staged_.push_back(staged_file{met_, pending_temp_, name_of(entry), join_path(folder_, name_of(entry)),
                                  entry.data_size});
    pending_temp_.clear();
    return true;
  }

  // Gives every verified file its name, in the order met (so among equal names the last met
  // stays), once no destination is a link.
  std::vector<written_file> commit() {
    if (!folder_ready_) {
      ensure_folders(folder_);
      folder_ready_ = true;
    }
    for (const staged_file& file : staged_) refuse_links(folder_, file.name, file.path);
    std::vector<written_file> written;
    while (!staged_.empty()) {
      const staged_file file = staged_.front();
      replace_file(file.temp, file.path);
      staged_.erase(staged_.begin());
      written.push_back(written_file{file.entry, file.path, file.size});
    }
    return written;
  }

  settings_map& settings() { return settings_; }

 private:
  // Hands the walk's blocks to the pending file.
  class pending_sink final : public payload_sink {
   public:
    explicit pending_sink(std::optional<file_sink>& file) : file_(file) {}
    bool take(const char* bytes, std::size_t count) override {
      file_->write(bytes, count);  // throws failure when the data cannot be written
      return true;
    }

   private:
    std::optional<file_sink>& file_;
  };

  // Drops a temporary file whose data was not verified or not completely written.
  void close_pending() {
    pending_.reset();
    if (!pending_temp_.empty()) remove_file(pending_temp_);
    pending_temp_.clear();
  }

  // The name to write a file entry under: its stored name, decoded when the view has a code page.
  std::string name_of(const chain_entry& entry) const { return view_.decode(entry.value).value_or(entry.value); }

  std::string folder_;
  text_view view_;
  bool folder_ready_ = false, created_folder_ = false, refused_ = false;
  std::size_t met_ = 0;
  settings_map settings_;
  std::optional<file_sink> pending_;
  std::string pending_temp_;
  pending_sink sink_{pending_};
  std::vector<staged_file> staged_;
};

}  // namespace

extract_summary extract_to_folder(byte_source& file, const std::string& folder, const text_view& view) {
  extract_summary summary;
  folder_extraction extraction(folder, view);
  summary.result = walk_chain(file, extraction);
  summary.files = extraction.commit();
  summary.settings = std::move(extraction.settings());
  return summary;
}

}  // namespace tailpack
