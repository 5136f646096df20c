#include "package/extract.h"

#include <optional>

#include "package/chain.h"
#include "package/staged_file.h"
#include "package/stored_name.h"
#include "package/win32_file_source.h"
#include "support/handle.h"
#include "support/message_box.h"
#include "support/system_error.h"

namespace {

// "File: <path>\rError: <system text>" under `caption`, for the error code `code`.
void report_failure(bool silent, const char* caption, const std::string& path, DWORD code) {
  tessel::message_box(silent, caption, "File: " + path + "\rError: " + tessel::system_error_text(code));
}

// Acts on the entries as the walk verifies them. A file's data goes into a staged file, which gets
// its stored name only once its record has been verified; every failure to put a file in place
// ends the walk and is reported with the output path.
class extraction final : public chain_consumer {
 public:
  extraction(const std::string& working_folder, bool silent, settings_map& settings)
      : working_folder_(working_folder), silent_(silent), settings_(settings) {}

  payload_sink* file_data(const chain_entry& entry) override {
    staged_.reset();
    output_ = working_folder_ + entry.value;
    if (!is_safe_stored_name(entry.value)) return nullptr;  // refused once its data is verified
    staged_.emplace(working_folder_);
    return staged_->created() ? &*staged_ : nullptr;
  }

  bool entry(chain_entry& entry) override {
    insert_setting(entry, settings_);
    if (entry.kind != entry_kind::file) return true;
    if (staged_ && staged_->created() && staged_->commit(output_)) {
      staged_.reset();
      return true;
    }
    fail();
    return false;
  }

  // The staged data could not be written: reported as a file that cannot be created.
  void fail() {
    report_failure(silent_, "Failed to extract file!", output_, staged_ ? staged_->error() : ERROR_INVALID_NAME);
    staged_.reset();
    failed_ = true;
  }

  bool failed() const { return failed_; }

 private:
  std::string working_folder_;
  bool silent_;
  settings_map& settings_;
  std::string output_;                 // the output path of the file entry being read
  std::optional<staged_file> staged_;  // its data, until it is given its name or discarded
  bool failed_ = false;
};

}  // namespace

bool extract_package(std::string package_path, std::string working_folder, bool silent, settings_map& settings) {
  tessel::unique_file package = open_package_handle(package_path);
  if (!package) {
    report_failure(silent, "Failed to open archive!", package_path, GetLastError());
    return false;
  }
  win32_file_source source(package.get());
  extraction extract(working_folder, silent, settings);
  const walk_result result = walk_chain(source, extract);
  if (result.stop == walk_stop::no_marker) {
    report_failure(silent, "Failed to initialize archive!", package_path, GetLastError());
    return false;
  }
  if (result.stop == walk_stop::sink_failed) extract.fail();
  return result.accepted && !extract.failed();
}
