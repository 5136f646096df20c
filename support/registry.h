// Registry keys and their string values, through the wide registry interfaces. Windows only.
//
// Every failure throws one of the tessel::registry2 exceptions (diagnostics/exception.h) with a
// message that names the key or value and the system error code returned by the registry call.
// Names go into messages as text in the ANSI code page; a name that code page cannot hold makes
// the conversion throw tessel::unicode::unmappable_character instead.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "support/handle.h"
#include "support/windows.h"

namespace tessel {
namespace registry2 {

// One open registry key; closed when the object is destroyed. There is no closed state: the
// object is neither copied nor moved (open returns it by guaranteed copy elision).
//
// Every open follows open_with_fallback (below): a key on a branch that the user may only read is
// still opened for reading, and a write through it fails with the write's own error.
class key {
 public:
  // A new handle to a predefined root (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER). Throws key_error
  // "RegOpenKeyEx() failed: handle %i (%i)": the root handle as a signed number, the error code.
  explicit key(HKEY root);
  ~key() = default;

  key(const key&) = delete;
  key& operator=(const key&) = delete;

  // The sub-key `path` (backslash-separated, relative to this key) as a key of its own; this key
  // stays open and unchanged, and the result outlives it. Throws key_error
  // "RegOpenKeyEx() failed: key \"%s\" (%i)".
  key open(const std::wstring& path) const;

  // The text of the REG_SZ or REG_EXPAND_SZ value `name` (the unnamed value for an empty name).
  // One terminating zero unit is dropped; a value stored without one keeps all its characters, and
  // inner zero units stay. REG_EXPAND_SZ text ends at its first zero unit and has its environment
  // variables expanded. A text longer than 32766 units, or one whose expansion does not fit the
  // 32768-unit buffer (which the system may cap lower), throws value_error
  // "ExpandEnvironmentStrings() failed: value \"%s\" (122)" instead of coming back cut short.
  // Throws value_error (missing value, failed read, failed expansion), type_mismatch (any other
  // type) or size_mismatch (the value changed its size between the size query and the read).
  std::wstring read_string(const std::wstring& name) const;

  // read_string converted to the ANSI code page; a character that code page cannot hold throws
  // tessel::unicode::unmappable_character.
  std::string read_narrow_string(const std::wstring& name) const;

  // Stores `text` as the REG_SZ value `name` (created or replaced), with one terminating zero
  // unit: an empty text stores two bytes. Throws value_error "RegSetValueEx() failed: value \"%s\" (%i)".
  void write_string(const std::wstring& name, const std::wstring& text) const;

  HKEY handle() const noexcept { return handle_.get(); }

 private:
  explicit key(unique_hkey handle) noexcept : handle_(std::move(handle)) {}

  unique_hkey handle_;
};

// Access rights of every open: read, set-value and create-sub-key; read alone.
constexpr std::uint32_t full_access = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;  // 0x2001F
constexpr std::uint32_t read_access = KEY_READ;                                       // 0x20019

// The access rule of every open: `attempt(access)` opens with those rights and returns the
// registry call's result. Asks for full_access and, only when that is refused with
// ERROR_ACCESS_DENIED, once more for read_access; returns the last attempt's result.
template <class Attempt>
long open_with_fallback(Attempt attempt) {
  long result = attempt(full_access);
  if (result == ERROR_ACCESS_DENIED) result = attempt(read_access);
  return result;
}

// The three steps of key::read_string, on their own so that each can be used (and checked) alone.

// What the size query reports about a value.
struct value_info {
  std::uint32_t type;  // REG_NONE (0) for a missing value
  std::uint32_t size;  // in bytes
};

// Asks for the type and byte size of value `name` without reading it. A missing value has type 0;
// any other failure leaves whatever the query reported (so a value that cannot be queried reads
// as missing).
value_info probe(HKEY key, const std::wstring& name);

// Passes REG_SZ and REG_EXPAND_SZ. Throws value_error "Not found: value \"%s\"" for type 0 and
// type_mismatch "Type mismatch: value \"%s\" expected 1 found %i" for any other type.
void check_string_type(const std::wstring& name, std::uint32_t type);

// Reads value `name` into a buffer of exactly `size` bytes and returns it as units (an odd last
// byte is not counted), terminator included when stored. Throws size_mismatch
// "Size mismatch: value \"%s\" expected %i found %i" when the read reports another size than
// `size` (also for a value that grew), else value_error "RegQueryValueEx() failed: value \"%s\" (%i)".
std::wstring read_exact(HKEY key, const std::wstring& name, std::uint32_t size);

}  // namespace registry2
}  // namespace tessel
