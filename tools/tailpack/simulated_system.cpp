#include "tools/tailpack/simulated_system.h"

#include "tools/tailpack/signing.h"

#include "tools/tailpack/codepage.h"

namespace tailpack {

namespace {

// The caller's package, read from its start, left open when the run is done with it.
class borrowed_source final : public byte_source {
 public:
  explicit borrowed_source(byte_source& source) : source_(source) {
    source_.seek(-static_cast<std::int64_t>(source_.position()));
  }
  bool seek(std::int64_t delta) override { return source_.seek(delta); }
  std::int64_t seek_end() override { return source_.seek_end(); }
  bool read(void* buffer, std::size_t count) override { return source_.read(buffer, count); }
  std::uint64_t position() const override { return source_.position(); }

 private:
  byte_source& source_;
};

// Counts a file's bytes and keeps none; tells the system its size when it takes its name.
class counted_output final : public staged_output {
 public:
  explicit counted_output(std::vector<simulated_system::written_file>& files) : files_(files) {}
  bool take(const char* bytes, std::size_t count) override {
    size_ += count;
    probe_.take(bytes, count);
    return true;
  }
  bool commit(const std::string& path) override {
    files_.push_back({path, size_, probe_.unsigned_kind()});
    return true;
  }
  std::uint32_t error() const override { return 0; }

 private:
  std::vector<simulated_system::written_file>& files_;
  std::uint64_t size_ = 0;
  unsigned_code_probe probe_;
};

// Hands the data to another staging file and records the commit.
class recorded_output final : public staged_output {
 public:
  recorded_output(std::unique_ptr<staged_output> inner, std::vector<simulated_system::written_file>& files)
      : inner_(std::move(inner)), files_(files) {}
  bool begin(std::uint64_t length) override { return inner_->begin(length); }
  bool take(const char* bytes, std::size_t count) override {
    size_ += count;
    probe_.take(bytes, count);
    return inner_->take(bytes, count);
  }
  bool commit(const std::string& path) override {
    if (!inner_->commit(path)) return false;
    files_.push_back({path, size_, probe_.unsigned_kind()});
    return true;
  }
  std::uint32_t error() const override { return inner_->error(); }

 private:
  std::unique_ptr<staged_output> inner_;
  std::vector<simulated_system::written_file>& files_;
  std::uint64_t size_ = 0;
  unsigned_code_probe probe_;
};

}  // namespace

simulated_system::simulated_system(byte_source& package, std::string package_path, std::string temp_folder,
                                   staging_factory staging, std::optional<unsigned> code_page)
    : package_(package),
      package_path_(std::move(package_path)),
      temp_folder_(std::move(temp_folder)),
      staging_(std::move(staging)),
      code_page_(code_page) {
  if (temp_folder_.empty() || temp_folder_.back() != '\\') temp_folder_ += '\\';
}

std::string simulated_system::from_ansi(const std::string& bytes) {
  if (!code_page_) return bytes;
  try {
    return code_page_to_utf8(bytes, *code_page_);
  } catch (const conversion_error&) {
    return bytes;
  }
}

std::unique_ptr<byte_source> simulated_system::open_package(std::uint32_t&) {
  return std::make_unique<borrowed_source>(package_);
}

std::unique_ptr<staged_output> simulated_system::create_staged(const std::string& path, std::uint32_t& error) {
  if (!staging_) return std::make_unique<counted_output>(files_);
  std::unique_ptr<staged_output> inner = staging_(path);
  if (!inner) {
    error = 5;  // ERROR_ACCESS_DENIED: the folder refused the file
    return nullptr;
  }
  return std::make_unique<recorded_output>(std::move(inner), files_);
}

}  // namespace tailpack
