#include "tools/tailpack/extract.h"

#include <cstdio>
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
  std::string path;
  std::uint64_t size = 0;
};

// Streams each file's data into a temporary file beside its destination. Files get their names
// only after the walk, so a refused name leaves nothing behind; every temporary file that was not
// renamed is removed, and the folder too when this extraction created it and refused a name.
class folder_extraction final : public chain_consumer {
 public:
  explicit folder_extraction(const std::string& folder) : folder_(folder) {}

  ~folder_extraction() override {
    close_pending();
    for (const staged_file& file : staged_) std::remove(file.temp.c_str());
    if (refused_ && created_folder_) {
      std::error_code ignored;
      std::filesystem::remove(std::filesystem::path(folder_), ignored);
    }
  }

  payload_sink* file_data(const chain_entry& entry) override {
    const std::size_t number = met_ + 1;
    if (!is_safe_stored_name(entry.value)) {
      refused_ = true;
      throw failure("entry #" + std::to_string(number) + ": refusing stored name " + quoted(entry.value) +
                    ": it could leave the folder or names a device; nothing was written");
    }
    if (!folder_ready_) {
      created_folder_ = ensure_folder(folder_);
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
    staged_.push_back(staged_file{met_, pending_temp_, join_path(folder_, entry.value), entry.data_size});
    pending_temp_.clear();
    return true;
  }

  // Gives every verified file its name, in the order met (so among equal names the last met stays).
  std::vector<written_file> commit() {
    if (!folder_ready_) {
      ensure_folder(folder_);
      folder_ready_ = true;
    }
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

  // Drops a temporary file whose data was not verified.
  void close_pending() {
    pending_.reset();
    if (!pending_temp_.empty()) std::remove(pending_temp_.c_str());
    pending_temp_.clear();
  }

  std::string folder_;
  bool folder_ready_ = false, created_folder_ = false, refused_ = false;
  std::size_t met_ = 0;
  settings_map settings_;
  std::optional<file_sink> pending_;
  std::string pending_temp_;
  pending_sink sink_{pending_};
  std::vector<staged_file> staged_;
};

}  // namespace

extract_summary extract_to_folder(byte_source& file, const std::string& folder) {
  extract_summary summary;
  folder_extraction extraction(folder);
  summary.result = walk_chain(file, extraction);
  summary.files = extraction.commit();
  summary.settings = std::move(extraction.settings());
  return summary;
}

}  // namespace tailpack
