// The stub's printf-style formatting goes through the system C library's formatter (msvcrt.dll,
// which the stub imports anyway) instead of the run time's own ISO formatters, about 35 KiB with
// their floating-point code. Linked into the stub only; everything else keeps the ISO ones.
//
// The two formatters agree on integers, characters, strings and pointers once a format is written
// in the system's spelling: a plain %s or %c in a wide format is narrow in ISO and wide in the
// system's (so it becomes %hs, %hc), %S and %C are wide text in ISO (%ls, %lc), and 64-bit and
// size lengths have their own letters. What the system cannot do exactly (floating point, %n, hh,
// L, %a) is refused as an encoding error, which the callers report, rather than printed
// differently. The results follow the ISO convention: the length the whole text needs, the output
// cut and terminated to fit.
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <initializer_list>

extern "C" {
int __cdecl _vsnprintf(char*, std::size_t, const char*, va_list);
int __cdecl _vscprintf(const char*, va_list);
int __cdecl _vsnwprintf(wchar_t*, std::size_t, const wchar_t*, va_list);
int __cdecl _vscwprintf(const wchar_t*, va_list);
}

namespace {

// One conversion's length modifier, as ISO spells it.
enum class length { none, h, l, ll };

// Rewrites `format` into `out` (room for three times its length plus one) in the system's
// spelling; false when it holds a conversion that the system formatter cannot do exactly.
template <class Char>
bool to_system_spelling(const Char* format, Char* out, bool wide) {
  const auto is_digit = [](Char c) { return c >= '0' && c <= '9'; };
  const auto is_flag = [](Char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; };
  for (const Char* p = format; *p != 0; ++p) {
    *out++ = *p;
    if (*p != '%') continue;
    ++p;
    while (is_flag(*p)) *out++ = *p++;
    if (*p == '*') *out++ = *p++;
    while (is_digit(*p)) *out++ = *p++;
    if (*p == '.') {
      *out++ = *p++;
      if (*p == '*') *out++ = *p++;
      while (is_digit(*p)) *out++ = *p++;
    }
    length size = length::none;
    if (*p == 'h') {
      if (*++p == 'h') return false;
      size = length::h;
    } else if (*p == 'l') {
      size = length::l;
      if (*++p == 'l') {
        size = length::ll;
        ++p;
      }
    } else if (*p == 'j') {
      size = length::ll;
      ++p;
    } else if (*p == 'z' || *p == 't') {
      ++p;  // size_t and ptrdiff_t are int-sized in this 32-bit program
    } else if (*p == 'I') {  // the system's own sizes, which the ISO formatters also take
      if (p[1] == '6' && p[2] == '4') {
        size = length::ll;
        p += 2;
      } else if (p[1] == '3' && p[2] == '2') {
        p += 2;
      }
      ++p;
    }
    Char conversion = *p;
    if (conversion == 'S' || conversion == 'C') {  // wide text in either kind of format
      if (size != length::none) return false;
      size = length::l;
      conversion = static_cast<Char>(conversion == 'S' ? 's' : 'c');
    }
    switch (conversion) {
      case '%':
        if (size != length::none) return false;
        break;
      case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
        if (size == length::h) *out++ = 'h';
        if (size == length::l) *out++ = 'l';
        if (size == length::ll) {
          for (const char letter : {'I', '6', '4'}) *out++ = letter;
        }
        break;
      case 'c': case 's':
        if (size == length::ll) return false;
        if (size == length::l) *out++ = 'l';
        if (size == length::h || (size == length::none && wide)) *out++ = 'h';
        break;
      case 'p':
        if (size != length::none) return false;
        break;
      default:  // the end of the format, floating point, %n and anything else
        return false;
    }
    *out++ = conversion;
  }
  *out = 0;
  return true;
}

// The ISO vsnprintf contract over the system's pair of calls: `measure` gives the whole length,
// `print` writes at most its count of characters (without a terminator when they fill it).
template <class Char, class Measure, class Print>
int format_iso(Char* buffer, std::size_t count, const Char* format, va_list args, bool wide, Measure measure,
               Print print) {
  std::size_t format_length = 0;
  while (format[format_length] != 0) ++format_length;
  Char* const spelled = static_cast<Char*>(std::malloc((3 * format_length + 1) * sizeof(Char)));
  if (spelled == nullptr) {
    errno = ENOMEM;
    return -1;
  }
  int needed = -1;
  if (!to_system_spelling(format, spelled, wide)) {
    errno = EILSEQ;
  } else {
    va_list copy;
    va_copy(copy, args);
    needed = measure(spelled, copy);
    va_end(copy);
    if (needed >= 0 && count > 0) {
      print(buffer, count - 1, spelled, args);
      buffer[static_cast<std::size_t>(needed) < count - 1 ? needed : count - 1] = 0;
    }
  }
  std::free(spelled);
  return needed;
}

}  // namespace

extern "C" int __cdecl __mingw_vsnprintf(char* buffer, std::size_t count, const char* format, va_list args) {
  return format_iso(buffer, count, format, args, false, _vscprintf, _vsnprintf);
}

extern "C" int __cdecl __mingw_vsnwprintf(wchar_t* buffer, std::size_t count, const wchar_t* format,
                                          va_list args) {
  return format_iso(buffer, count, format, args, true, _vscwprintf, _vsnwprintf);
}
