// The headers of a Windows executable image (PE): the one reader of them, for the stub check, the
// certificate table of a signed package, the installer that a run launches and the resources that
// tailpack brands. Positions are file offsets unless named RVA (relative virtual address).
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/byte_source.h"

// What the resource and version writers throw when an image or resource cannot be read or changed
// as asked.
class pe_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct pe_section {
  std::string name;  // up to 8 bytes, without trailing zeros
  std::uint32_t virtual_size = 0, virtual_address = 0, raw_size = 0, raw_offset = 0, characteristics = 0;
};

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
  // The end of the image's section data in the file (the largest raw offset plus raw size, over at
  // most 96 sections); 0 when the section table cannot be read.
  std::uint64_t sections_end = 0;
};

// What tailpack reads beyond the headers that a run needs: alignments, the checksum field, the data
// directories and the section table. A struct of its own so that the stub, which reads only pe_headers,
// reads none of it.
struct pe_layout {
  pe_headers headers;
  std::uint32_t section_alignment = 0, file_alignment = 0, size_of_image = 0, size_of_headers = 0;
  std::uint64_t checksum_offset = 0;   // the optional header's CheckSum field
  std::uint64_t directories = 0;       // the first data directory entry (8 bytes each)
  std::uint32_t directory_count = 0;
  std::uint32_t resource_rva = 0, resource_size = 0;  // data directory 2
  std::uint64_t section_table = 0;     // the first section header (40 bytes each)
  std::vector<pe_section> sections;    // in header order
};

constexpr std::uint32_t pe_section_header_size = 40;
constexpr std::uint32_t pe_resource_directory = 2;
constexpr std::uint32_t pe_certificate_directory = 4;

// Reads the headers of the image that starts at offset 0 of `file`: an MZ header, the PE signature
// it points to, a file header and a PE32 or PE32+ optional header. Empty
// on success; otherwise why the file does not start with a PE image. The position afterwards is
// unspecified.
std::string read_pe_headers(byte_source& file, pe_headers& headers);

// Why an image with these headers cannot be started as a program (a DLL, or not marked as an
// executable image); empty when it can.
std::string executable_problem(const pe_headers& headers);

// read_pe_headers, then executable_problem: empty when `file` starts with a program's image.
std::string program_image_problem(byte_source& file);

// read_pe_headers, then the rest of the layout: the optional header's fields up to the data
// directories and the section table (at most 96 sections). Empty on success; otherwise why the
// image cannot be read that far.
std::string read_pe_layout(byte_source& file, pe_layout& layout);

// The file offset of `size` bytes at `rva`, when one section's raw data holds all of them; -1 when
// none does.
std::int64_t pe_rva_to_offset(const pe_layout& layout, std::uint32_t rva, std::uint32_t size);

// The image checksum of `image` (the whole file), as the loader and signing tools compute it: the
// 16-bit one's-complement sum of the file with the CheckSum field at `checksum_offset` taken as
// zero, plus the file's length.
std::uint32_t pe_checksum(const std::string& image, std::uint64_t checksum_offset);

// --- Resources ---

// A resource type, name or language level: a number, or (when `text` is not empty) a name.
struct pe_resource_id {
  std::uint16_t number = 0;
  std::u16string text;
  bool operator==(const pe_resource_id& other) const { return number == other.number && text == other.text; }
};

struct pe_resource {
  pe_resource_id type, name;
  std::uint16_t language = 0;
  std::uint32_t code_page = 0;
  std::string data;
};

// Resource types that tailpack reads or writes.
constexpr std::uint16_t pe_rt_icon = 3, pe_rt_string = 6, pe_rt_group_icon = 14, pe_rt_version = 16;

// Every resource of `image` (the whole image in memory, with `layout` read from it), in directory
// order: the three levels type, name, language. Empty on success (also when the image has no
// resources); otherwise why the resource directory cannot be read (an offset outside the section,
// a loop, more levels than three).
std::string read_pe_resources(const std::string& image, const pe_layout& layout, std::vector<pe_resource>& resources);
