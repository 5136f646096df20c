#include "tools/tailpack/extract.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "package/stored_name.h"
#include "run/run.h"
#include "tools/tailpack/core.h"
#include "tools/tailpack/files.h"
#include "tools/tailpack/options.h"
#include "tools/tailpack/simulated_system.h"
#include "tools/tailpack/text.h"

namespace tailpack {

namespace {

struct pending_file {
  std::string temp;
  std::string path;
};

// Streams a file's data into a new temporary file in the folder; its commit only notes where the
// file goes, so that a refusal later in the walk leaves nothing behind. A failure is noted in
// `problem` and refused to the run, which then ends its extraction.
class folder_output final : public staged_output {
 public:
  folder_output(const std::string& temp, std::vector<pending_file>& pending, std::string working_folder,
                std::string folder, const text_view& view, std::string& problem)
      : temp_(temp), sink_(temp), pending_(pending), working_folder_(std::move(working_folder)),
        folder_(std::move(folder)), view_(view), problem_(problem) {}
  ~folder_output() override {
    sink_.reset();  // closed first: an open file cannot be removed on Windows
    if (!committed_) remove_file(temp_);
  }

  bool take(const char* bytes, std::size_t count) override {
    try {
      sink_->write(bytes, count);
      return true;
    } catch (const failure& e) {
      problem_ = e.what();
      return false;
    }
  }

  bool commit(const std::string& path) override {
    try {
      finish(path);
      return true;
    } catch (const failure& e) {
      problem_ = e.what();
      return false;
    }
  }
  std::uint32_t error() const override { return 0; }

 private:
  void finish(const std::string& path) {
    sink_->close();
    sink_.reset();
    // The stored name in the run's working folder, which the run decoded when it could.
    const std::string name = path.substr(working_folder_.size());
    if (!is_safe_stored_name(name))
      throw failure("refusing stored name " + view_.quote(name) + ": decoded, it could leave the folder or names a device;"
                    " nothing was written");
    pending_.push_back({temp_, join_path(folder_, name)});
    committed_ = true;
  }

  std::string temp_;
  std::optional<file_sink> sink_;
  std::vector<pending_file>& pending_;
  std::string working_folder_, folder_;
  const text_view& view_;
  std::string& problem_;
  bool committed_ = false;
};

// Removes what was not renamed, and the folder when this extraction created it and wrote nothing.
class extraction_files {
 public:
  extraction_files(std::string folder, std::string package) : folder_(std::move(folder)), package_(std::move(package)) {}
  ~extraction_files() {
    for (const pending_file& file : pending) remove_file(file.temp);
    if (created_ && !renamed_) {
      std::error_code ignored;
      std::filesystem::remove(std::filesystem::u8path(folder_), ignored);
    }
  }
  void make_folder() {
    if (!ready_) created_ = ensure_folders(folder_);
    ready_ = true;
  }
  // Refuses a link where a file goes and a file that is the package being read, then gives every
  // file its name, in the order written.
  std::vector<written_file> rename_all(const std::vector<simulated_system::written_file>& sizes) {
    make_folder();
    for (const pending_file& file : pending) {
      if (is_link(file.path)) throw failure("refusing to write " + file.path + ": a link stands there");
      const std::string kind = special_file_kind(file.path);
      if (!kind.empty()) throw failure("refusing to write " + file.path + ": " + kind + " stands there, left as it is");
      if (same_file(file.path, package_))
        throw failure("refusing to write " + file.path + ": it is the package being read; nothing was written");
    }
    std::vector<written_file> written;
    for (std::size_t i = 0; i < pending.size(); ++i) {
      replace_file(pending[i].temp, pending[i].path);
      renamed_ = true;
      written.push_back({pending[i].path, sizes[i].size});
    }
    pending.clear();
    return written;
  }

  std::vector<pending_file> pending;

 private:
  std::string folder_, package_;
  bool ready_ = false, created_ = false, renamed_ = false;
};

}  // namespace

extract_summary extract_to_folder(byte_source& file, const std::string& package_path, const std::string& folder,
                                  const text_view& view) {
  extraction_files files(folder, package_path);
  std::string problem;
  const text_view run_view = view.run_texts();
  simulated_system machine(file, package_path, example_temp_folder,
                           [&](const std::string& staging_path) -> std::unique_ptr<staged_output> {
    try {
      files.make_folder();
      // The staging file lies in the run's working folder, where its stored names are joined.
      const std::string working_folder = staging_path.substr(0, staging_path.rfind('\\') + 1);
      return std::make_unique<folder_output>(create_temp_beside(join_path(folder, ".tailpack-extract")),
                                             files.pending, working_folder, folder, run_view, problem);
    } catch (const failure& e) {
      problem = e.what();
      return nullptr;
    }
  }, view.code_page());
  extract_summary summary;
  const run_outcome outcome = perform_run(machine, "", &summary.settings);
  if (!problem.empty()) throw failure(problem);
  if (outcome.failed_file.entry != 0)
    throw failure(run_view.plain(why_not_launched(outcome)) + ": the stub could not write it; nothing was written");
  summary.files = files.rename_all(machine.files());
  summary.result = outcome.walk;
  return summary;
}

}  // namespace tailpack
