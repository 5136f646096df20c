// ASCII case folding without a locale: only the letters A to Z and a to z change, so that bytes of
// multi-byte characters and letters outside ASCII stay as they are. Portable; for any character
// type (the run's bytes, UTF-16 units).
#pragma once
#include <string>

template <class Char>
constexpr Char ascii_upper(Char c) {
  return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

template <class Char>
constexpr Char ascii_lower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <class Char>
std::basic_string<Char> ascii_upper(std::basic_string<Char> text) {
  for (Char& c : text) c = ascii_upper(c);
  return text;
}

template <class Char>
std::basic_string<Char> ascii_lower(std::basic_string<Char> text) {
  for (Char& c : text) c = ascii_lower(c);
  return text;
}
