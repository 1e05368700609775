// The layout of the resource set that carries the payload inside the executable: one
// definition for the installer's reader, the tests' builder, the fuzzer and the
// benchmark's floor (resources/resource_set.py is the build's, in Python).
//
// All are RCDATA resources: FILES, whose first byte is the number of entries; for each
// entry, in lookup order, NAMEnnn (the name and a zero byte), TIMEnnn (the packed local
// DOS date and time, 4 bytes little-endian: the date in the high 16 bits) and DATAnnn
// (the file's bytes), nnn being the 1-based index in three digits; and SUMS, a record
// of (size, CRC-32) for each of those resources in lookup order, both 32-bit
// little-endian, then the CRC-32 of all the records.
#pragma once

#include <stdint.h>

inline constexpr char kCountResource[] = "FILES";
constexpr unsigned kMostEntries = 255;

enum EntryKind : unsigned { kEntryName, kEntryTime, kEntryData, kEntryKindCount };
inline constexpr const char* kEntryKindNames[kEntryKindCount] = {"NAME", "TIME", "DATA"};
constexpr unsigned kIndexDigits = 3;
// The longest name of an entry's resource: its kind and the index.
constexpr unsigned kLongestEntryResourceName = 4 + kIndexDigits;

constexpr int32_t kStampSize = 4;

inline constexpr char kChecksumResource[] = "SUMS";
constexpr int32_t kChecksumRecordSize = 8;  // the size, then the CRC-32
constexpr int32_t kChecksumTrailerSize = 4;

// The little-endian 32-bit value at bytes: a stamp, a size, a checksum.
inline uint32_t ReadLittleEndian32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
