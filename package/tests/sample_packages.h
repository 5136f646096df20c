// Packages for the tests and the fuzz seeds, built from records in file order.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "package/record.h"
#include "package/writer.h"

namespace tailrun {

namespace samples {

// One record: payload, 32-bit little-endian length, MD5 of the payload.
inline std::string record(const std::string& payload) {
  string_sink sink;
  write_record(sink, payload);
  return sink.bytes();
}

// The records of `payloads`, one after the other, in file order.
inline std::string records(const std::vector<std::string>& payloads) {
  std::string bytes;
  for (const std::string& payload : payloads) bytes += record(payload);
  return bytes;
}

inline std::string package(const std::string& stub_image, const std::string& stub_name,
                           const std::vector<package_entry>& entries) {
  string_sink sink;
  write_package(sink, stub_image, stub_name, entries);
  return sink.bytes();
}

// A stub image that holds the marker text, as the real stub does (its scanner's constant).
inline std::string stub_image() {
  return "MZ stub image with the marker text " + tail_marker_text() + " inside, and a zero byte: " +
         std::string(1, '\0');
}

// The payloads of a stub entry, in file order.
inline std::vector<std::string> stub_entry_payloads(const std::string& name = "Tailrun.exe") {
  return {stub_image(), name, "stub", "stub"};
}

inline std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Named packages covering the chain's shapes: the fuzz seeds, and inputs for the tests.
inline std::vector<std::pair<std::string, std::string>> all() {
  const std::string m = tail_marker_text();
  const std::vector<std::string> stub = stub_entry_payloads();
  return {
      {"typical", package(stub_image(), "Tailrun.exe",
                          {package_entry::make_file("installer32", "QVNEXSetup.exe", "MZ installer"),
                           package_entry::make_value("executable32", "%installer32%"),
                           package_entry::make_value("parameters", "/qn %msilog%"),
                           package_entry::make_value("msilog", "ON")})},
      {"empty", package(stub_image(), "Tailrun.exe", {})},
      {"empty-texts", package("", "", {package_entry::make_value("", ""), package_entry::make_file("", "e", "")})},
      {"duplicates", package(stub_image(), "Tailrun.exe",
                             {package_entry::make_value("k", "first"), package_entry::make_value("k", "last"),
                              package_entry::make_file("f", "a.txt", "1"), package_entry::make_file("g", "A.TXT", "2")})},
      {"other-kind", records(concat(stub, {"1", "a", "value", "k", "xyz", "2", "b", "value", m}))},
      {"capital-kind", records(concat(stub, {"1", "a", "value", "k", "Value", "2", "b", "value", m}))},
      {"second-marker", records(concat(stub, {"1", "a", "value", m, "2", "b", "value", m}))},
      {"no-stub", records({"1", "a", "value", m})},
      {"placeholders", package(stub_image(), "Tailrun.exe",
                               {package_entry::make_value("a", "%b%%b%"), package_entry::make_value("b", "50%"),
                                package_entry::make_value("c", "%%a%x%c%")})},
  };
}

}  // namespace samples

}  // namespace tailrun
