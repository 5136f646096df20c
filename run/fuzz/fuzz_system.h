// A simulated machine for run_fuzz: how it behaves comes from two bytes of the fuzz input, and it
// records every call that changes something as one event, in order, for the invariants to read.
// It never throws, so any exception that reaches the run's outer guard came from the run core.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "run/system.h"

namespace tailrun {

struct fuzz_event {
  enum class kind { make, enter, stage, commit, launch, remove, release, show };
  kind what;
  std::string text;  // the path, the launched file, or the caption
};

class fuzz_system final : public run_system {
 public:
  // `machine`: bit 0 another run holds the guard, 1 no temporary folder, 2-3 the working folder
  // (0 made at once, 1 the first names taken, 2 every name taken, 3 made but cannot be entered),
  // 4 the package cannot be opened, 5 no file can be staged, 6 staged writes fail, 7 commits fail.
  // `answers`: bits 0-1 how the launch ends (exited, no exit code, wait failed, not started),
  // 2-3 the installed product's language, 4 a temporary folder deep enough to meet path limits,
  // 5-7 the installer's exit code (one of exit_codes).
  fuzz_system(std::uint8_t machine, std::uint8_t answers, std::string package)
      : machine_(machine), answers_(answers), package_(std::move(package)) {}

  std::vector<fuzz_event> events;

  launch_result launch_answer() const {
    static constexpr std::uint32_t exit_codes[] = {0, 1, 1602, 1603, 3010, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    return {static_cast<launch_status>(3 - (answers_ & 3)), exit_codes[answers_ >> 5]};
  }

  void load_configuration() override {}
  std::wstring product_name() override { return L"Product"; }
  bool acquire_single_instance() override { return !bit(0); }
  void release_single_instance() override { record(fuzz_event::kind::release, ""); }
  std::string temporary_folder() override {
    if (bit(1)) return "";
    if (answers_ & 16) return "C:\\Users\\" + std::string(200, 'u') + "\\AppData\\Local\\Temp\\";
    return "C:\\Temp\\";
  }
  std::int64_t now() override { return 0x7FFFFFFE; }  // near the wrap of the folder number
  void create_folder(const std::string&) override {}
  bool create_private_folder(const std::string& path) override {
    const int mode = (machine_ >> 2) & 3;
    if (mode == 2 || (mode == 1 && ++taken_ <= 3)) return false;
    record(fuzz_event::kind::make, path);
    made_ = path;
    return true;
  }
  bool set_current_folder(const std::string& path) override {
    record(fuzz_event::kind::enter, path);
    return ((machine_ >> 2) & 3) != 3 || path != made_;
  }
  void remove_folder(const std::string& path) override { record(fuzz_event::kind::remove, path); }
  std::uint32_t create_private_log(const std::string&) override { return 0; }
  std::string package_path() override { return "C:\\Downloads\\Setup.exe"; }
  std::unique_ptr<byte_source> open_package(std::uint32_t& error) override {
    if (bit(4)) {
      error = 32;
      return nullptr;
    }
    return std::make_unique<memory_source>(package_);
  }
  std::uint32_t last_error() override { return 0; }
  std::unique_ptr<staged_output> create_staged(const std::string& path, std::uint32_t& error) override {
    if (bit(5)) {
      error = 5;
      return nullptr;
    }
    record(fuzz_event::kind::stage, path);
    return std::make_unique<output>(*this);
  }
  language_facts read_language() override {
    switch ((answers_ >> 2) & 3) {
      case 1: return {"1033", "", 0x0809};
      case 2: return {"1033", "", 0x0409};
      case 3: return {"1036", "1", 0x040C};
      default: return {};
    }
  }
  void clear_user_language() override {}
  launch_result launch(const launch_request& request) override {
    record(fuzz_event::kind::launch, request.file);
    return launch_answer();
  }
  void show_message(const std::string& caption, const std::string&) override {
    record(fuzz_event::kind::show, caption);
  }
  std::string error_text(std::uint32_t code) override { return "error " + std::to_string(code); }
  std::string from_ansi(const std::string& bytes) override { return bytes; }

 protected:
  void write_log(const std::string&) override {}
  void write_log(const std::wstring&) override {}

 private:
  class output final : public staged_output {
   public:
    explicit output(fuzz_system& system) : system_(system) {}
    bool take(const char*, std::size_t) override { return !system_.bit(6); }
    bool commit(const std::string& path) override {
      if (system_.bit(7)) return false;
      system_.record(fuzz_event::kind::commit, path);
      return true;
    }
    std::uint32_t error() const override { return system_.bit(6) || system_.bit(7) ? 112 : 0; }

   private:
    fuzz_system& system_;
  };

  bool bit(int n) const { return (machine_ >> n) & 1; }
  void record(fuzz_event::kind what, const std::string& text) { events.push_back({what, text}); }

  std::uint8_t machine_, answers_;
  std::string package_;
  std::string made_;  // the last folder made
  int taken_ = 0;
};

}  // namespace tailrun
