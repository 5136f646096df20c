// Text as the run holds paths and command lines: WTF-8, that is UTF-8 that also carries an unpaired
// UTF-16 surrogate (in its three-byte form), so that every UTF-16 text that Windows takes as a path
// or command line converts to bytes and back unchanged. Portable; the Windows side converts at its
// system calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The length (1 to 4) of the sequence that starts at `at` in `text`, with its code point in
// `code_point`; 0 when the byte there starts none (a stray continuation byte, an overlong or
// truncated form, a code point past U+10FFFF). A surrogate's three-byte form counts (WTF-8).
std::size_t sequence_at(const std::string& text, std::size_t at, std::uint32_t& code_point);

// Whether `text` is strict UTF-8: every byte in a sequence, no surrogate.
bool is_valid_utf8(const std::string& text);

// Whether `code_point` is a UTF-16 surrogate (U+D800 to U+DFFF).
constexpr bool is_surrogate(std::uint32_t code_point) { return code_point >= 0xD800 && code_point < 0xE000; }

// The code point that starts at `at` in `text` and moves `at` past it. A byte that starts no valid
// sequence (also an overlong or out-of-range one) gives U+FFFD and moves one byte on.
std::uint32_t next_code_point(const std::string& text, std::size_t& at);

// Appends `code_point` (at most U+10FFFF; a surrogate too) in its shortest form.
void append_wtf8(std::string& text, std::uint32_t code_point);

// How many UTF-16 units `text` takes: two for a code point above U+FFFF, one for any other and for
// each byte that is no valid sequence.
std::size_t utf16_length(const std::string& text);

// A UTF-16 unit: wchar_t where it has 16 bits (Windows), so that the system's wide calls take the
// text as it is; char16_t elsewhere.
#if defined(__SIZEOF_WCHAR_T__) && __SIZEOF_WCHAR_T__ == 2
using utf16_unit = wchar_t;
#else
using utf16_unit = char16_t;
#endif
using utf16_text = std::basic_string<utf16_unit>;

// `text` in UTF-16; each byte that is no valid sequence becomes U+FFFD.
utf16_text utf16_from_wtf8(const std::string& text);

// `utf8` as UTF-16. Throws std::invalid_argument when it is not strict UTF-8.
std::u16string utf8_to_utf16(const std::string& utf8);

// `utf16` as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(const std::u16string& utf16);

// `length` UTF-16 units at `units` in WTF-8: a surrogate pair as its code point, an unpaired
// surrogate as itself.
std::string wtf8_from_utf16(const utf16_unit* units, std::size_t length);
