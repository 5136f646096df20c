// How the commands show a package's texts: as escaped bytes, or decoded from the target machine's
// code page (--codepage).
#pragma once
#include <optional>
#include <string>

namespace tailpack {

// `utf8` between double quotes, with '\\' and '"' preceded by a backslash and control characters
// written as \xNN; other characters as they are. Bytes that are not UTF-8 are shown as quoted()
// shows them.
std::string quoted_utf8(const std::string& utf8);

class text_view {
 public:
  text_view() = default;
  explicit text_view(std::optional<unsigned> code_page) : code_page_(code_page) {}

  std::optional<unsigned> code_page() const { return code_page_; }

  // How the run's own texts show (paths, parameters, its reasons): the run took the package's
  // texts decoded from the code page, so with one they are UTF-8; without, bytes as they are.
  text_view run_texts() const {
    text_view view;
    view.utf8_ = code_page_.has_value();
    return view;
  }

  // `bytes` decoded to UTF-8; none without a code page or when the bytes are not a text in it.
  std::optional<std::string> decode(const std::string& bytes) const;

  // Between double quotes: quoted_utf8 of the decoded text, or else quoted(bytes).
  std::string quote(const std::string& bytes) const;

  // Unquoted on one line: the decoded text or else the bytes, with control characters as \xNN.
  std::string plain(const std::string& bytes) const;

 private:
  std::optional<unsigned> code_page_;
  bool utf8_ = false;  // the texts are UTF-8 already: shown as they are when valid, else as bytes
};

}  // namespace tailpack
