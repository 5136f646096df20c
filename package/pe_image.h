// The headers of a Windows executable image (PE): the one reader of them, for the stub check, the
// certificate table of a signed package and the installer that a run launches.
#pragma once
#include <cstdint>
#include <string>

#include "package/byte_source.h"

struct pe_headers {
  std::uint64_t pe_offset = 0;        // the "PE\0\0" signature, where the MZ header points
  std::uint16_t characteristics = 0;  // of the file header
  std::uint16_t magic = 0;            // of the optional header: PE32 or PE32+
  std::uint64_t optional_offset = 0;  // the optional header
  std::uint64_t optional_size = 0;
  // Data directory 4, the certificate table: its file offset and size; 0 and 0 when the headers
  // have no such entry.
  std::uint64_t certificate_table = 0;
  std::uint64_t certificate_size = 0;
};

// Reads the headers of the image that starts at offset 0 of `file`: an MZ header, the PE signature
// it points to, a file header and a PE32 or PE32+ optional header. Empty on success; otherwise why
// the file does not start with a PE image. The position afterwards is unspecified.
std::string read_pe_headers(byte_source& file, pe_headers& headers);

// Why an image with these headers cannot be started as a program (a DLL, or not marked as an
// executable image); empty when it can.
std::string executable_problem(const pe_headers& headers);

// read_pe_headers, then executable_problem: empty when `file` starts with a program's image.
std::string program_image_problem(byte_source& file);
