// The stub's own versions of the C++ library's error hooks. The library's versions build their
// exceptions around a reference-counted string implementation that would add about 45 KiB to the
// stub; these throw small exceptions that need no allocation. Linked into the stub only.
#include <cstdlib>
#include <exception>
#include <new>

namespace {

// A library precondition failed (a bug, never input): carries the library's own static text.
class library_error final : public std::exception {
 public:
  explicit library_error(const char* text) noexcept : text_(text) {}
  const char* what() const noexcept override { return text_ != nullptr ? text_ : "library error"; }

 private:
  const char* text_;
};

}  // namespace

namespace __gnu_cxx {
// The default handler pulls in the demangler (about 46 KiB); an unexpected terminate just ends.
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
// A string or container asked for more than it can hold: an allocation failure.
void __throw_length_error(const char*) { throw std::bad_alloc(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_logic_error(const char* text) { throw library_error(text); }
void __throw_out_of_range_fmt(const char* format, ...) { throw library_error(format); }
// A checked precondition of the library failed (an index out of range): a bug, so the run ends
// at once. The library's version prints through the demangler (about 47 KiB).
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { std::abort(); }
}  // namespace std
