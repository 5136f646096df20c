#include "run/extraction.h"

#include <algorithm>
#include <map>
#include <memory>

#include "run/messages.h"
#include "run/progress.h"

namespace tailrun {

namespace {

// Keeps the first bytes of a file's data on their way to the staging file.
class head_sink final : public payload_sink {
 public:
  explicit head_sink(staged_output& output) : output_(output) {}
  bool begin(std::uint64_t length) override { return output_.begin(length); }
  bool take(const char* bytes, std::size_t count) override {
    const std::size_t room = folder_model::program_head_size - head_.size();
    head_.append(bytes, std::min(count, room));
    return output_.take(bytes, count);
  }
  bool end() override { return output_.end(); }
  const std::string& head() const { return head_; }

 private:
  staged_output& output_;
  std::string head_;
};

class extraction final : public chain_consumer {
 public:
  extraction(run_system& system, reporter& report, folder_model& folder, settings_map& settings,
             settings_map* package_settings)
      : system_(system), report_(report), folder_(folder), settings_(settings), package_settings_(package_settings) {}

  payload_sink* file_data(const chain_entry& entry) override {
    head_.reset();
    staged_.reset();
    name_ = system_.from_ansi(entry.value);
    output_ = folder_.output_path(name_);
    error_ = folder_.refusal(name_, problem_, name_reason_);
    if (error_ != 0) return nullptr;  // reported once its data is verified
    staged_ = system_.create_staged(folder_.staging_path(), error_);
    if (!staged_) {
      problem_ = file_problem::not_created;
      return nullptr;
    }
    head_ = std::make_unique<head_sink>(*staged_);
    return head_.get();
  }

  bool entry(chain_entry& entry) override {
    ++met_;
    if (package_settings_) insert_setting(entry, *package_settings_);
    // The run's settings hold the run's text: converted only where an entry names one.
    if (names_a_setting(entry)) settings_.insert_if_absent(system_.from_ansi(entry.key), system_.from_ansi(entry.value));
    if (entry.kind != entry_kind::file) return true;
    if (staged_) release(output_);  // a file of the same name is replaced: the run lets go of it first
    if (staged_ && staged_->commit(output_)) {
      folder_.committed(name_, entry.data_size, head_->head());
      hold(std::move(staged_));
      return true;
    }
    if (staged_) problem_ = file_problem::not_named;
    fail(met_);
    return false;
  }

  // The file entry being read cannot be written: its data could not be stored.
  void data_failed() {
    problem_ = file_problem::not_written;
    fail(met_ + 1);
  }

  const file_failure& failure() const { return failure_; }

  // The committed files, each still held by the run.
  std::vector<std::unique_ptr<staged_output>> take_held() {
    std::vector<std::unique_ptr<staged_output>> files;
    for (std::unique_ptr<staged_output>& file : held_)
      if (file) files.push_back(std::move(file));
    held_.clear();
    held_index_.clear();
    return files;
  }

 private:
  // Reports the file entry numbered `number` (in the order met) as one that cannot be written.
  void fail(std::size_t number) {
    if (staged_) error_ = staged_->error();
    failure_ = {number, name_, problem_, name_reason_};
    report_.file_failure(messages::extract_failed, output_, error_, "the file could not be written");
    staged_.reset();
  }

  run_system& system_;
  reporter& report_;
  folder_model& folder_;
  settings_map& settings_;
  settings_map* package_settings_;
  std::string name_, output_;  // the stored name and output path of the file entry being read
  std::uint32_t error_ = 0;
  file_problem problem_ = file_problem::none;
  const char* name_reason_ = "";
  std::unique_ptr<staged_output> staged_;
  std::unique_ptr<head_sink> head_;
  std::size_t met_ = 0;
  file_failure failure_;

  // Closes the held file at `path`, if any (names compared as Windows compares them).
  void release(const std::string& path) {
    const auto place = held_index_.find(comparable_file_name(path));
    if (place == held_index_.end()) return;
    held_[place->second].reset();
    held_index_.erase(place);
  }

  // Holds the committed file at output_ until the run lets go of every file.
  void hold(std::unique_ptr<staged_output> file) {
    held_.push_back(std::move(file));
    held_index_[comparable_file_name(output_)] = held_.size() - 1;
  }

  std::vector<std::unique_ptr<staged_output>> held_;  // in the order committed; null once released
  std::map<std::string, std::size_t> held_index_;     // comparable_file_name of each held path → its place
};

}  // namespace

extraction_result extract_package(run_system& system, reporter& report, folder_model& folder, settings_map& settings,
                                  settings_map* package_settings) {
  extraction_result result;
  const std::string path = system.package_path();
  std::uint32_t error = 0;
  const std::unique_ptr<byte_source> package = system.open_package(error);
  if (!package) {
    report.file_failure(messages::open_failed, path, error, "the package could not be opened");
    result.unopened = true;
    return result;
  }
  extraction extract(system, report, folder, settings, package_settings);
  progress_source progress(*package, system, report.silent());
  result.walk = walk_chain(progress, extract);
  progress.close();
  if (progress.cancelled()) {
    result.cancelled = true;
    return result;
  }
  if (result.walk.stop == walk_stop::no_marker) {
    report.file_failure(messages::no_chain, path, system.last_error(), "the package is incomplete: no tail marker");
    return result;  // the walk tells why
  }
  if (result.walk.stop == walk_stop::sink_failed) extract.data_failed();
  result.failed_file = extract.failure();
  result.held = extract.take_held();
  result.accepted = result.walk.accepted && result.failed_file.entry == 0;
  return result;
}

}  // namespace tailrun
