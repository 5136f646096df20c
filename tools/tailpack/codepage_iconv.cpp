// Code-page conversion through iconv, on POSIX systems.
#include <iconv.h>

#include <cerrno>

#include "tools/tailpack/codepage.h"

namespace tailpack {

namespace {

// iconv's name for a Windows code page: "CP" and the number, except for the code pages that
// Windows numbers apart from their standard names.
std::string iconv_name(unsigned code_page) {
  if (code_page >= 28591 && code_page <= 28599) return "ISO-8859-" + std::to_string(code_page - 28590);
  switch (code_page) {
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 20932: return "EUC-JP";
    case 28603: return "ISO-8859-13";
    case 28605: return "ISO-8859-15";
    case 51949: return "EUC-KR";
    case 54936: return "GB18030";
    case 65000: return "UTF-7";
    case 65001: return "UTF-8";
    default: return "CP" + std::to_string(code_page);
  }
}

// Owns an iconv descriptor.
class converter {
 public:
  converter(const std::string& to, const std::string& from, unsigned code_page)
      : cd_(iconv_open(to.c_str(), from.c_str())) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw conversion_error(conversion_error::kind::unknown_code_page,
                             "code page " + std::to_string(code_page) + " is not known here");
  }
  ~converter() { iconv_close(cd_); }
  converter(const converter&) = delete;
  converter& operator=(const converter&) = delete;

  // The whole of `in` converted; throws conversion_error of `bad_input` for input that the
  // conversion refuses.
  std::string convert(const std::string& in, conversion_error::kind bad_input, const std::string& message) {
    std::string out(in.size() * 4 + 16, '\0');
    char* in_at = const_cast<char*>(in.data());
    std::size_t in_left = in.size();
    char* out_at = out.data();
    std::size_t out_left = out.size();
    for (;;) {
      const bool finishing = in_left == 0;
      const std::size_t done = finishing ? iconv(cd_, nullptr, nullptr, &out_at, &out_left)
                                         : iconv(cd_, &in_at, &in_left, &out_at, &out_left);
      if (done != static_cast<std::size_t>(-1)) {
        if (finishing) break;
        continue;
      }
      if (errno != E2BIG) throw conversion_error(bad_input, message);
      const std::size_t used = out.size() - out_left;
      out.resize(out.size() * 2);
      out_at = out.data() + used;
      out_left = out.size() - used;
    }
    out.resize(out.size() - out_left);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string encode_with_platform(const std::string& utf8, unsigned code_page) {
  converter to_code_page(iconv_name(code_page), "UTF-8", code_page);
  return to_code_page.convert(utf8, conversion_error::kind::unmappable,
                              "code page " + std::to_string(code_page) + " cannot hold every character of the text");
}

std::string decode_with_platform(const std::string& bytes, unsigned code_page) {
  converter to_utf8("UTF-8", iconv_name(code_page), code_page);
  return to_utf8.convert(bytes, conversion_error::kind::invalid_input,
                         "the bytes are not a text in code page " + std::to_string(code_page));
}

}  // namespace tailpack
