// Exceptions, static-object guards, strings and formatting in a program linked like the stub: with
// the stub's own run-time hooks (single-thread exception state, guards and locks; small error
// hooks; the system formatter). No test framework: its threads would need the real thread layer.
// Prints each failed check and a summary; exit code 0 exactly when every check held.
#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "base/format.h"

namespace {

int failures = 0;

void check(bool condition, const char* what) {
  if (!condition) {
    std::printf("FAIL %s\n", what);
    ++failures;
  }
}

class named_error : public std::exception {
 public:
  explicit named_error(const char* name) : name_(name) {}
  const char* what() const noexcept override { return name_; }

 private:
  const char* name_;
};

// Its constructor throws on the first attempt only.
struct built_on_second_try {
  static int attempts;
  built_on_second_try() {
    if (++attempts == 1) throw named_error("first attempt");
  }
};
int built_on_second_try::attempts = 0;

built_on_second_try& shared_object() {
  static built_on_second_try object;
  return object;
}

// Records how many exceptions were in flight while it was destroyed.
struct unwinding_probe {
  int& seen;
  ~unwinding_probe() { seen = std::uncaught_exceptions(); }
};

// Whether `run` throws an `Error`.
template <class Error, class Run>
bool throws(Run run) {
  try {
    run();
  } catch (const Error&) {
    return true;
  }
  return false;
}

void exception_state() {
  // A second exception thrown and caught inside a handler, then the first one rethrown.
  std::string order;
  try {
    try {
      throw named_error("outer");
    } catch (const std::exception& outer) {
      try {
        throw named_error("inner");
      } catch (const std::exception& inner) {
        order += inner.what();
      }
      order += outer.what();
      throw;
    }
  } catch (const named_error& again) {
    order += again.what();
  }
  check(order == "innerouterouter", "nested handlers and rethrow");

  int in_flight = -1;
  try {
    unwinding_probe probe{in_flight};
    throw 7;
  } catch (int) {
  }
  check(in_flight == 1, "one exception in flight during unwinding");
  check(std::uncaught_exceptions() == 0, "no exception in flight afterwards");

  std::exception_ptr kept;
  try {
    throw named_error("kept");
  } catch (...) {
    kept = std::current_exception();
  }
  try {
    std::rethrow_exception(kept);
  } catch (const std::exception& e) {
    check(std::string(e.what()) == "kept", "an exception kept and rethrown later");
  }
}

void static_guards() {
  check(throws<named_error>([] { shared_object(); }), "the first construction throws through its guard");
  built_on_second_try* const first = &shared_object();
  check(first == &shared_object() && built_on_second_try::attempts == 2,
        "a failed construction is retried once, then the object is reused");
}

void strings() {
  std::string text(100, 'a');
  text += "tail";
  check(text.size() == 104 && text.find("tail") == 100 && text.substr(98, 3) == "aat", "long strings");
  check(throws<std::exception>([&] { (void)text.substr(105); }), "an out-of-range position throws");
  check(throws<std::bad_alloc>([&] { text.reserve(text.max_size() + 1); }),
        "a length beyond the maximum throws bad_alloc");
}

// The formats the stub's code uses, and the conversions whose spelling differs between the ISO
// formatters and the system's, give the ISO results; what the system cannot do is refused. The
// compiler checks formats here by the system's rules, and some formats are wrong on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
void formatting() {
  using tessel::format_text;
  using tessel::format_text_w;
  check(format_text("QVT%i\\", -5) == "QVT-5\\", "signed folder number");
  check(format_text("%.4d/%.2d/%.2d %.2d:%.2d:%.2d %c  ", 2026, 12, 7, 9, 5, 0, ' ') == "2026/12/07 09:05:00    ",
        "log line header");
  check(format_text("OpenMutex returned 0x%08x", 5u) == "OpenMutex returned 0x00000005", "hex error code");
  check(format_text("%s.log.txt|%5s|%-3s|%%", "C:\\T\\Tailrun", "ab", "c") == "C:\\T\\Tailrun.log.txt|   ab|c  |%",
        "strings with width");
  check(format_text("%zu %lld %llx %ls %lc", sizeof(int), -(1LL << 40), 0x123456789abcULL, L"wide", L'w') ==
            "4 -1099511627776 123456789abc wide w",
        "sizes, 64-bit numbers and wide text in a narrow format");
  check(format_text_w(L"%s|%ls|%S|%c|%lc|%C|%d", "narrow", L"wide", L"Wide", 'n', L'w', L'W', 42) ==
            L"narrow|wide|Wide|n|w|W|42",
        "narrow and wide text in a wide format");
  check(format_text("%I64d %Iu %I32x %S", -(1LL << 33), 7u, 255u, L"w") == "-8589934592 7 ff w",
        "the system's own size letters, and %S, in a narrow format");
  check(format_text_w(L"Error. config::init. GetModuleFileName return 0.") ==
            L"Error. config::init. GetModuleFileName return 0.",
        "a wide format without conversions");
  const std::string long_text(3000, 'x');
  check(format_text("<%s>", long_text.c_str()) == "<" + long_text + ">", "a narrow text beyond the first buffer");
  check(format_text_w(L"<%s>", long_text.c_str()) == L"<" + std::wstring(3000, L'x') + L">",
        "a wide text beyond the first buffer");
  check(throws<tessel::format_error>([] { (void)format_text("%f", 1.5); }), "floating point is refused");
  check(throws<tessel::format_error>([] { (void)format_text("%hhd", 1); }), "hh is refused");
  check(throws<tessel::format_error>([] { (void)format_text_w(L"%lS", L"x"); }), "%lS is refused");
  check(throws<tessel::format_error>([] { (void)format_text("50%"); }), "a format ending in % is refused");
}
#pragma GCC diagnostic pop

}  // namespace

int main() {
  exception_state();
  static_guards();
  strings();
  formatting();
  std::printf(failures == 0 ? "stub run-time: every check held\n" : "stub run-time: %d checks failed\n", failures);
  return failures == 0 ? 0 : 1;
}
