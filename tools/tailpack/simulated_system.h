// A machine on which tailpack runs the stub's run core without touching anything: it records the
// files the run writes (with their sizes), the launch, the messages and the log, and answers as a
// fresh machine would (no earlier installation, a free single-instance guard, an empty temporary
// folder). verify, explain and extract decide with the very code that the stub runs.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/system.h"
#include "tools/tailpack/core.h"

namespace tailpack {

// The run's clock: the stub names its working folder "QVT" + the seconds since 1970 at its run;
// this example time gives "QVT1700000000".
constexpr std::int64_t example_run_time = 1700000000;

class simulated_system final : public run_system {
 public:
  struct message {
    std::string caption, text;
  };
  struct written_file {
    std::string path;
    std::uint64_t size = 0;
    std::string unsigned_kind;  // "a program" or "an MSI" without a signature of its own, else empty
  };
  // Makes the staging file for a path; the default keeps nothing (counts the bytes).
  using staging_factory = std::function<std::unique_ptr<staged_output>(const std::string& path)>;

  // `package` stays the caller's; `temp_folder` is a Windows path (a backslash is added when it
  // lacks one). `code_page`: the machine's ANSI code page, when known.
  simulated_system(byte_source& package, std::string package_path, std::string temp_folder,
                   staging_factory staging = nullptr, std::optional<unsigned> code_page = std::nullopt);

  const std::vector<message>& messages() const { return messages_; }
  const std::vector<written_file>& files() const { return files_; }

  void load_configuration() override {}
  std::wstring product_name() override { return std::wstring(); }  // the stub's string table is not read
  bool acquire_single_instance() override { return true; }
  void release_single_instance() override {}
  std::string temporary_folder() override { return temp_folder_; }
  std::int64_t now() override { return example_run_time; }
  void create_folder(const std::string&) override {}
  bool create_private_folder(const std::string&) override { return true; }
  bool set_current_folder(const std::string&) override { return true; }
  void remove_folder(const std::string&) override {}
  std::uint32_t create_private_log(const std::string&) override { return 0; }
  std::string package_path() override { return package_path_; }
  std::unique_ptr<byte_source> open_package(std::uint32_t& error) override;
  std::uint32_t last_error() override { return 0; }
  std::unique_ptr<staged_output> create_staged(const std::string& path, std::uint32_t& error) override;
  language_facts read_language() override { return language_facts{}; }
  void clear_user_language() override {}
  launch_result launch(const launch_request&) override { return {launch_status::exited, 0}; }
  void show_message(const std::string& caption, const std::string& text) override {
    messages_.push_back({caption, text});
  }
  std::string error_text(std::uint32_t code) override { return "system error " + std::to_string(code); }
  // The package's texts decoded from the machine's code page, as the stub decodes them. Without a
  // code page, or for bytes that are no text in it, the bytes stay as they are: the path limits
  // then count a byte that is no UTF-8 sequence as one character, as a single-byte code page does.
  std::string from_ansi(const std::string& bytes) override;

 protected:
  // The simulated run's log goes nowhere: what explains a run is its outcome.
  void write_log(const std::string&) override {}
  void write_log(const std::wstring&) override {}

 private:
  byte_source& package_;
  std::string package_path_;
  std::string temp_folder_;
  staging_factory staging_;
  std::optional<unsigned> code_page_;
  std::vector<message> messages_;
  std::vector<written_file> files_;
};

}  // namespace tailpack
