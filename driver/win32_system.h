// The run's system on Windows: files, folders, the launch, the registry, message boxes and the log
// through Win32.
#pragma once
#include <memory>
#include <optional>

#include "driver/progress_window.h"
#include "run/system.h"
#include "support/handle.h"
#include "support/mutex.h"
#include "support/private_security.h"
#include "support/windows.h"

namespace tailrun {

class win32_system final : public run_system {
 public:
  explicit win32_system(HINSTANCE instance) : instance_(instance) {}

  void load_configuration() override;
  std::wstring product_name() override;
  bool acquire_single_instance() override;
  void release_single_instance() override { guard_.reset(); }
  std::string temporary_folder() override;
  std::int64_t now() override;
  void create_folder(const std::string& path) override;
  bool create_private_folder(const std::string& path) override;
  bool set_current_folder(const std::string& path) override;
  void remove_folder(const std::string& path) override;
  bool claim_working_folder(const std::string& folder) override;
  void release_working_folder() override { marker_.reset(); }
  std::vector<std::string> remove_leftovers(const std::string& temp_folder) override;
  std::uint32_t create_private_log(const std::string& path) override;
  std::string package_path() override;
  std::unique_ptr<byte_source> open_package(std::uint32_t& error) override;
  std::uint32_t last_error() override;
  std::unique_ptr<staged_output> create_staged(const std::string& path, std::uint32_t& error) override;
  language_facts read_language() override;
  void clear_user_language() override;
  launch_result launch(const launch_request& request) override;
  std::uint32_t milliseconds() override;
  bool open_progress() override;
  bool update_progress(unsigned per_mille) override;
  void close_progress() override;
  void show_message(const std::string& caption, const std::string& text) override;
  std::string error_text(std::uint32_t code) override;
  std::string from_ansi(const std::string& bytes) override;

 protected:
  void write_log(const std::string& line) override;
  void write_log(const std::wstring& line) override;

 private:
  HINSTANCE instance_;
  std::unique_ptr<tessel::real_mutex> guard_;
  std::unique_ptr<tessel::private_security> security_;  // built at the first folder
  tessel::unique_file marker_;  // the working folder's marker, held until the clean-up
  progress_window progress_;
};

// The temporary folder (ending with a backslash), or empty: as GetTempPath2W reports it where
// kernel32 has it (a run as SYSTEM then gets the system's protected temporary folder rather than
// C:\Windows\Temp, where every user may create files), else as GetTempPathW does.
std::string system_temporary_folder();

}  // namespace tailrun
