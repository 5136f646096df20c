// One record of the chain: payload, 4-byte little-endian length, 16-byte MD5 of the payload.
// Records are read backwards from the tail marker, the chain's last record.
#pragma once
#include <cstdint>
#include <string>

#include "package/byte_source.h"

// The tail marker's payload; its record is 42 bytes (22 + 4 + 16).
const std::string& tail_marker_text();
constexpr std::uint64_t record_overhead = 20;  // length and digest
constexpr std::uint64_t tail_marker_record_size = 42;

// Where the search for the tail marker treats the file as ending: the file size, or, for a PE
// whose certificate table (security directory) ends exactly at the end of the file, the start of
// that table, since the signature does not cover the table and a chain planted there must not be
// taken. Any inconsistency in the headers means "no table". -1 when the size is unknown.
std::int64_t search_end(byte_source& file);

// Searches backwards for the marker text. Candidate starts run from end - 23 down to 23 (the 22
// bytes ending at the last byte are never examined); the highest match wins. Returns the match's
// offset, or -1 when there is none. Reads in large blocks: one pass at most.
std::int64_t locate_tail_marker(byte_source& file);

// locate_tail_marker, then moves to the end of the tail marker record (match + 42). False when
// there is no match, or when that record would run past the end of the file.
bool find_tail_marker(byte_source& file);

// The outcome of reading one record backward.
enum class record_status { ok, digest_mismatch, move_failed, read_failed };

// From a position at the end of a record: reads the record into `payload` (exactly N bytes, in
// one read) and verifies its digest (one update). On ok the position is the record's first
// payload byte. Positions and lengths are checked in 64-bit arithmetic against the source before
// any move or allocation, so a length that reaches before the start is a failed move.
record_status read_record(byte_source& file, std::string& payload);

// read_record with the chain's verdict convention: true on ok; a digest mismatch sets `verdict`
// to false; any other failure leaves it alone.
bool read_record_backward(byte_source& file, std::string& payload, bool& verdict);
