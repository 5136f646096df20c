#include "driver/win32_system.h"

#include <shellapi.h>

#include <ctime>

#include "diagnostics/log.h"
#include "driver/config.h"
#include "driver/language_registry.h"
#include "driver/tree_removal.h"
#include "driver/staged_file.h"
#include "package/win32_file_source.h"
#include "run/product.h"
#include "support/file_entry.h"
#include "support/handle.h"
#include "support/system_error.h"
#include "support/wide_path.h"

namespace tailrun {

namespace {

// The program's own file; grows the buffer for paths longer than MAX_PATH.
std::string module_path() {
  for (DWORD size = MAX_PATH;; size *= 2) {
    std::wstring path(size, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], size);
    if (length < size || size >= 32768) return tessel::from_wide(path.data(), length < size ? length : 0);
  }
}

// Only a file is launched: the shell would open a folder in its file browser (elevated, and under
// Wine never ending).
bool names_a_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A folder's path in the extended form, without the trailing separators that the extended form
// would keep (a drive's root keeps its own).
std::wstring folder_path(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/') && path[path.size() - 2] != ':')
    path.pop_back();
  return tessel::extended_path(path);
}

}  // namespace

std::string system_temporary_folder() {
  using get_temp_path_fn = DWORD(WINAPI*)(DWORD, LPWSTR);
  get_temp_path_fn get_temp_path = GetTempPathW;
  if (const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll")) {
    if (const auto newer = reinterpret_cast<get_temp_path_fn>(
            reinterpret_cast<void*>(GetProcAddress(kernel32, "GetTempPath2W"))))
      get_temp_path = newer;
  }
  std::wstring path(MAX_PATH + 1, L'\0');
  DWORD length = get_temp_path(static_cast<DWORD>(path.size()), &path[0]);
  if (length > path.size()) {  // longer than MAX_PATH: ask again with the room it needs
    path.assign(length, L'\0');
    length = get_temp_path(static_cast<DWORD>(path.size()), &path[0]);
    if (length >= path.size()) length = 0;
  }
  return tessel::from_wide(path.data(), length);
}

void win32_system::load_configuration() { config::init(instance_); }

std::wstring win32_system::product_name() { return config::product(); }

bool win32_system::acquire_single_instance() {
  guard_ = std::make_unique<tessel::real_mutex>(TAILRUN_SINGLE_INSTANCE_NAME);
  return guard_->try_acquire(0);
}

std::string win32_system::temporary_folder() { return system_temporary_folder(); }

std::int64_t win32_system::now() { return _time64(nullptr); }

void win32_system::create_folder(const std::string& path) { CreateDirectoryW(folder_path(path).c_str(), nullptr); }

bool win32_system::create_private_folder(const std::string& path) {
  if (!security_) security_ = std::make_unique<tessel::private_security>(tessel::private_to::run_folder);
  // An unprotected folder is never made; CreateDirectoryW fails for any existing entry of that
  // name, folder or file, so a folder that someone else prepared is never entered.
  return security_->attributes() != nullptr &&
         CreateDirectoryW(folder_path(path).c_str(), security_->attributes()) != 0;
}

bool win32_system::set_current_folder(const std::string& path) {
  return SetCurrentDirectoryW(tessel::wide(path).c_str()) != 0;
}

void win32_system::remove_folder(const std::string& path) {
  if (!path.empty()) remove_tree(folder_path(path));
}

bool win32_system::claim_working_folder(const std::string& folder) {
  // Read by nobody; no delete sharing, so that a later run cannot open it for deletion meanwhile.
  const std::wstring marker = tessel::extended_path(folder + TAILRUN_RUN_MARKER_NAME);
  marker_ = tessel::unique_file(
      CreateFileW(marker.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(marker_);
}

std::vector<std::string> win32_system::remove_leftovers(const std::string& temp_folder) {
  std::vector<std::string> removed;
  for (const std::wstring& name :
       remove_leftover_folders(tessel::extended_path(temp_folder), L"" TAILRUN_WORKING_FOLDER_PREFIX,
                               L"" TAILRUN_RUN_MARKER_NAME))
    removed.push_back(temp_folder + tessel::from_wide(name));
  return removed;
}

std::uint32_t win32_system::create_private_log(const std::string& path) {
  const std::wstring full = tessel::extended_path(path);
  std::wstring name;
  const tessel::unique_file folder = tessel::open_parent_folder(full, name);
  if (!folder) return GetLastError();
  tessel::unique_file found(CreateFileW(full.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (found) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(found.get(), &info)) return GetLastError();
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY)
      return ERROR_ACCESS_DENIED;  // a folder of that name is not removed for a log
    const std::wstring folder_path = tessel::system_path_of(folder.get());
    if (tessel::is_entry_itself(folder_path, found.get(), name)) {
      // An earlier run's log may be read-only; its attributes change only once it is known to
      // be the entry itself, never a link's target.
      FILE_BASIC_INFO normal{};
      normal.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      SetFileInformationByHandle(found.get(), FileBasicInfo, &normal, sizeof normal);
    }
    if (!tessel::delete_entry(folder_path, full.substr(0, full.size() - name.size() - 1), std::move(found), name))
      return GetLastError() != 0 ? GetLastError() : ERROR_ACCESS_DENIED;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    return GetLastError();
  }
  tessel::private_security security(tessel::private_to::run_file);
  if (security.attributes() == nullptr) return ERROR_INVALID_SECURITY_DESCR;
  // New, so that what the descriptor says holds; a delete still pending shows as "exists".
  const tessel::unique_file made(CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ, security.attributes(),
                                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  return made ? 0 : GetLastError();
}

std::string win32_system::package_path() { return module_path(); }

std::unique_ptr<byte_source> win32_system::open_package(std::uint32_t& error) {
  tessel::unique_file file = open_package_handle(tessel::extended_path(module_path()));
  if (!file) {
    error = GetLastError();
    return nullptr;
  }
  return make_file_source(std::move(file));
}

std::uint32_t win32_system::last_error() { return GetLastError(); }

std::unique_ptr<staged_output> win32_system::create_staged(const std::string& path, std::uint32_t& error) {
  auto file = std::make_unique<staged_file>(tessel::extended_path(path));
  if (!file->created()) {
    error = file->error();
    return nullptr;
  }
  return file;
}

language_facts win32_system::read_language() { return read_language_facts(config::product()); }

void win32_system::clear_user_language() { tailrun::clear_user_language(config::product(), config::family()); }

launch_result win32_system::launch(const launch_request& request) {
  launch_result result;
  const std::wstring file = tessel::wide(request.file), parameters = tessel::wide(request.parameters),
                     directory = tessel::wide(request.directory);
  SHELLEXECUTEINFOW launch{};
  launch.cbSize = sizeof launch;
  // A silent run must not wait on the shell's own error dialog either.
  launch.fMask = SEE_MASK_NOCLOSEPROCESS | (request.silent ? SEE_MASK_FLAG_NO_UI : 0);
  launch.lpFile = file.c_str();
  launch.lpParameters = parameters.c_str();
  launch.lpDirectory = directory.c_str();
  launch.nShow = SW_SHOWNORMAL;
  if (!names_a_file(file) || !ShellExecuteExW(&launch)) return result;
  const tessel::unique_handle process(launch.hProcess);
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
    result.status = launch_status::wait_failed;
    return result;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) {
    result.status = launch_status::no_exit_code;
    return result;
  }
  result.status = launch_status::exited;
  result.exit_code = code;
  return result;
}

std::uint32_t win32_system::milliseconds() { return GetTickCount(); }

bool win32_system::open_progress() { return progress_.open(instance_, config::product()); }

bool win32_system::update_progress(unsigned per_mille) { return progress_.update(per_mille); }

void win32_system::close_progress() { progress_.close(); }

void win32_system::show_message(const std::string& caption, const std::string& text) {
  MessageBoxW(nullptr, tessel::wide(text).c_str(), tessel::wide(caption).c_str(), MB_OK);
}

void win32_system::write_log(const std::string& line) {
  try {
    tessel::log::write_line(tessel::wide(line));
  } catch (...) {
    // A log that cannot be written does not change the run.
  }
}

void win32_system::write_log(const std::wstring& line) {
  try {
    tessel::log::write_line(line);
  } catch (...) {
  }
}

std::string win32_system::error_text(std::uint32_t code) { return tessel::from_ansi(tessel::system_error_text(code)); }

std::string win32_system::from_ansi(const std::string& bytes) { return tessel::from_ansi(bytes); }

}  // namespace tailrun
