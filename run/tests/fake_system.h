// A run_system for the run core's tests: the package in memory, the working folder as a map of
// files, and every call that changes something recorded in order as one line ("show <caption>",
// "commit <path>", "launch <file>|<parameters>|<directory>", ...).
#pragma once
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/wtf8.h"
#include "run/system.h"

namespace tailrun {

class fake_system final : public run_system {
 public:
  // Knobs.
  std::string package;
  bool package_opens = true;
  bool guard_free = true;
  std::string temp = "C:\\Temp\\";
  bool folders_can_be_made = true;
  launch_result launch_answer{launch_status::exited, 0};
  std::string throw_at;  // the name of a call that throws std::runtime_error(throw_at)
  // The progress window: the clock moves as the package is read, `ms_per_mib` milliseconds for
  // each MiB; the window opens when `window_opens`; from the `cancel_at`-th update on (0: never)
  // the user has cancelled.
  std::uint32_t ms_per_mib = 0;
  bool window_opens = true;
  std::size_t cancel_at = 0;
  std::uint32_t private_log_error = 0;  // what create_private_log answers

  // What happened.
  std::vector<std::string> events;
  std::map<std::string, std::string> files;  // by path: the data
  std::vector<unsigned> progress;            // every per-mille value the window was given
  std::vector<std::uint32_t> updated_at;     // when, by the clock

  std::vector<std::string> shown() const { return starting("show "); }
  std::vector<std::string> starting(const std::string& head) const {
    std::vector<std::string> found;
    for (const std::string& event : events)
      if (event.compare(0, head.size(), head) == 0) found.push_back(event.substr(head.size()));
    return found;
  }

  void load_configuration() override { step("configuration"); }
  std::wstring product_name() override { return L"Product"; }
  bool acquire_single_instance() override {
    step("guard");
    return guard_free;
  }
  void release_single_instance() override { events.push_back("release"); }
  std::string temporary_folder() override { return temp; }
  std::int64_t now() override { return 100; }
  void create_folder(const std::string&) override {}
  bool create_private_folder(const std::string& path) override {
    step("folder");
    if (folders_can_be_made) events.push_back("make " + path);
    return folders_can_be_made;
  }
  bool set_current_folder(const std::string& path) override {
    events.push_back("enter " + path);
    return true;
  }
  void remove_folder(const std::string& path) override {
    events.push_back("remove " + path);
    for (auto it = files.begin(); it != files.end();) it = it->first.rfind(path, 0) == 0 ? files.erase(it) : ++it;
  }
  std::uint32_t create_private_log(const std::string& path) override {
    events.push_back("private " + path);
    return private_log_error;
  }
  bool claim_working_folder(const std::string& folder) override {
    events.push_back("claim " + folder);
    return true;
  }
  void release_working_folder() override { events.push_back("unclaim"); }
  std::vector<std::string> remove_leftovers(const std::string& temp_folder) override {
    events.push_back("sweep " + temp_folder);
    return {temp_folder + "QVT7"};
  }
  std::string package_path() override { return "C:\\Downloads\\Setup.exe"; }
  std::unique_ptr<byte_source> open_package(std::uint32_t& error) override {
    step("open");
    if (!package_opens) {
      error = 32;
      return nullptr;
    }
    return std::make_unique<timed_source>(*this);
  }
  std::uint32_t last_error() override { return 0; }
  std::unique_ptr<staged_output> create_staged(const std::string& path, std::uint32_t&) override {
    step("stage");
    events.push_back("stage " + path);
    return std::make_unique<output>(*this, path);
  }
  language_facts read_language() override { return {}; }
  void clear_user_language() override {}
  launch_result launch(const launch_request& request) override {
    step("launch");
    events.push_back("launch " + request.file + "|" + request.parameters + "|" + request.directory);
    return launch_answer;
  }
  std::uint32_t milliseconds() override { return clock(); }
  bool open_progress() override {
    events.push_back("window at " + std::to_string(clock()));
    window_open_ = window_opens;
    return window_opens;
  }
  bool update_progress(unsigned per_mille) override {
    if (window_open_) progress.push_back(per_mille);
    if (window_open_) updated_at.push_back(clock());
    return cancel_at == 0 || progress.size() < cancel_at;
  }
  void close_progress() override {
    if (window_open_) events.push_back("window closed");
    window_open_ = false;
  }
  void show_message(const std::string& caption, const std::string&) override { events.push_back("show " + caption); }
  std::string error_text(std::uint32_t code) override { return "error " + std::to_string(code); }
  // The ANSI code page of this machine is Latin-1: every byte is the character of its number.
  std::string from_ansi(const std::string& bytes) override {
    std::string text;
    for (const char byte : bytes) append_wtf8(text, static_cast<unsigned char>(byte));
    return text;
  }

 protected:
  void write_log(const std::string& line) override { events.push_back("log " + line); }
  void write_log(const std::wstring& line) override {
    std::string ascii;
    for (const wchar_t c : line) ascii.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    events.push_back("log " + ascii);
  }

 private:
  class output final : public staged_output {
   public:
    output(fake_system& system, std::string path) : system_(system), path_(std::move(path)) {}
    bool take(const char* bytes, std::size_t count) override {
      data_.append(bytes, count);
      return true;
    }
    ~output() override {
      if (!held_.empty()) system_.events.push_back("release " + held_);
    }
    bool commit(const std::string& path) override {
      system_.events.push_back("commit " + path);
      system_.files[path] = data_;
      held_ = path;
      return true;
    }
    std::uint32_t error() const override { return 0; }

   private:
    fake_system& system_;
    std::string path_, data_;
    std::string held_;  // the committed path, held until destroyed
  };

  // The package, read at ms_per_mib.
  class timed_source final : public byte_source {
   public:
    explicit timed_source(fake_system& system) : system_(system), inner_(system.package) {}
    bool seek(std::int64_t delta) override { return inner_.seek(delta); }
    std::int64_t seek_end() override { return inner_.seek_end(); }
    bool read(void* buffer, std::size_t count) override {
      system_.bytes_read_ += count;
      return inner_.read(buffer, count);
    }
    std::uint64_t position() const override { return inner_.position(); }

   private:
    fake_system& system_;
    memory_source inner_;
  };

  std::uint32_t clock() const { return static_cast<std::uint32_t>((bytes_read_ * ms_per_mib) >> 20); }

  bool window_open_ = false;
  std::uint64_t bytes_read_ = 0;

  void step(const std::string& name) {
    if (name == throw_at) throw std::runtime_error(name);
  }
};

}  // namespace tailrun
