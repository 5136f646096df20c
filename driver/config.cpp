#include "driver/config.h"

#include <shlobj.h>

#include "base/exception.h"

namespace tailrun {

namespace config {
namespace {

// Set once by init, only read afterwards (the program has one thread).
struct names {
  std::wstring family;
  std::wstring product;
};

names& loaded() {
  static names instance;
  return instance;
}

constexpr std::int32_t family_id = 2001;
constexpr std::int32_t product_id = 2002;

}  // namespace

void init(HINSTANCE module) {
  loaded().family = load_resource_string(family_id, module);
  loaded().product = load_resource_string(product_id, module);

  wchar_t path[MAX_PATH] = {};
  if (GetModuleFileNameW(module, path, MAX_PATH) == 0) {
    throw tessel::exception_w(L"Error. config::init. GetModuleFileName return 0.");
  }
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
    throw tessel::exception_w(L"Error. config::init. Can not find CSIDL_COMMON_APPDATA.");
  }
}

std::wstring family() { return loaded().family; }

std::wstring product() { return loaded().product; }

}  // namespace config

std::wstring load_resource_string(std::int32_t id, HINSTANCE module) {
  // LoadStringW cuts a longer string to 259 characters and terminates it; 0 means missing or empty.
  wchar_t buffer[MAX_PATH] = {};
  if (LoadStringW(module, static_cast<UINT>(id), buffer, MAX_PATH) == 0) {
    throw tessel::exception("resource string %d is not found", static_cast<int>(id));
  }
  return std::wstring(buffer);
}

}  // namespace tailrun
