// Shared by the tests of support/ and diagnostics/.
#pragma once
#include <exception>
#include <string>

namespace tessel::test {

// The what() text of the exception that `action` throws, or "none".
template <class Action>
std::string thrown(Action action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "none";
}

}  // namespace tessel::test
