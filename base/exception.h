// The exception family of the support library. Every failure inside the library is thrown by value
// as one of these classes and caught by reference. The family sits at the bottom of the library:
// this header includes nothing of the project's own, so every layer above may throw these classes.
//
// Each class adds its component name to a dotted category path in its constructor (root first),
// so a thrown object tells where it came from: "registry2.key_error", "unicode.out_of_memory".
// `what` gives that path followed by the message in square brackets: "log[CreateFile failed: ...]",
// or just "[message]" for a plain tessel::exception.
#pragma once
#include <exception>
#include <string>
#include <type_traits>

namespace tessel {

class exception : public std::exception {
 public:
  // The message exactly as given; a '%' in it is kept as it is.
  explicit exception(const std::string& message);

  // The message formatted like printf by format_text. At least one argument must follow the
  // format: a lone text always selects the constructor above, so a message is never read as a
  // format by accident. Arguments must be scalars (numbers, pointers, C strings).
  template <class First, class... Rest>
  exception(const char* format, First first, Rest... rest)
      : exception(formatted(format, checked(first), checked(rest)...)) {}

  exception(const exception&) = default;
  exception& operator=(const exception&) = default;
  ~exception() override;

  // The category path, "[", the message and "]". The text is rebuilt on every call; the pointer
  // stays valid while the object lives and until the next call of `what`.
  const char* what() const noexcept override;
  // The message proper, without the category.
  virtual const char* message() const;
  // The dotted category path; empty for a plain tessel::exception.
  virtual const char* category() const;

 protected:
  // Used by derived constructors: appends "." (when the path is not empty) and then `part`.
  void append_category(const char* part);

  // The composed text that `what` last returned (rebuilt by every call).
  mutable std::string what_text;
  // The message and the category path. Mutable because tessel::exception_w fills them in from
  // its wide texts on the first narrow access, which may come through a const reference.
  mutable std::string message_text;
  mutable std::string category_text;

 private:
  // format_text of `format` and the arguments.
  static std::string formatted(const char* format, ...);

  template <class T>
  static T checked(T value) {
    static_assert(std::is_scalar<T>::value, "format arguments must be scalars (use .c_str() for strings)");
    return value;
  }
};

// An exception whose texts are wide (UTF-16 on Windows). The narrow `what`, `message` and
// `category` convert the wide texts to the system's ANSI code page on first use, replacing
// characters that the code page cannot represent. Windows only.
class exception_w : public exception {
 public:
  // The message formatted like wprintf by format_text_w; the category stays empty.
  explicit exception_w(const wchar_t* format, ...);

  exception_w(const exception_w&) = default;
  exception_w& operator=(const exception_w&) = default;
  ~exception_w() override;

  // Narrowing cannot be reported from here (std::exception::what does not throw): if it fails,
  // the text is composed from the narrow fields as they are (empty), and the next narrow access
  // tries again.
  const char* what() const noexcept override;
  // These two narrow the wide texts first; a failed conversion propagates (tessel::unicode
  // exceptions) and leaves the object unchanged.
  const char* message() const override;
  const char* category() const override;

  // The wide category path, "[", the wide message and "]"; rebuilt on every call.
  virtual const wchar_t* what_w() const;
  virtual const wchar_t* message_w() const;
  virtual const wchar_t* category_w() const;

 private:
  // Fills the narrow message and category from the wide ones, once per object.
  void narrow() const;

  mutable std::wstring what_text_w;
  std::wstring message_text_w;
  std::wstring category_text_w;
  mutable bool narrowed = false;
};

namespace log {

// Failures of the log file.
class generic : public tessel::exception {
 public:
  explicit generic(const std::string& message);
};

}  // namespace log

namespace registry2 {

// Failures of registry access.
class generic : public tessel::exception {
 public:
  explicit generic(const std::string& message);
};

// A key could not be opened.
class key_error : public generic {
 public:
  explicit key_error(const std::string& message);
};

// A value could not be read or written.
class value_error : public generic {
 public:
  explicit value_error(const std::string& message);
};

// A value has another type than the one asked for.
class type_mismatch : public generic {
 public:
  explicit type_mismatch(const std::string& message);
};

// A value changed its size between two queries.
class size_mismatch : public generic {
 public:
  explicit size_mismatch(const std::string& message);
};

}  // namespace registry2

namespace unicode {

// A code-page conversion failed for a reason without its own class.
class generic : public tessel::exception {
 public:
  explicit generic(const std::string& message);
};

// The conversion's output buffer was too small.
class out_of_memory : public generic {
 public:
  explicit out_of_memory(const std::string& message);
};

// The code page is not valid or not installed.
class invalid_codepage : public generic {
 public:
  explicit invalid_codepage(const std::string& message);
};

// A character cannot be represented in the target, or the input is not valid in its code page.
class unmappable_character : public generic {
 public:
  explicit unmappable_character(const std::string& message);
};

}  // namespace unicode

}  // namespace tessel
