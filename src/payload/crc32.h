// CRC-32 as ZIP, PNG and zlib compute it (reflected polynomial 0xEDB88320, initial
// value and final value inverted), the checksum the build stores for every payload
// resource.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The CRC-32 of count bytes. It reads them in place, once, and copies nothing.
uint32_t Crc32(const unsigned char* bytes, size_t count);

// The two ways Crc32 takes, for tests that compare them: carry-less multiplication,
// which folds 64 bytes at a time on processors that have it, and a table that takes
// one byte at a time on every processor (and the last few bytes on all of them).
bool Crc32FoldingSupported();
uint32_t Crc32Folded(const unsigned char* bytes, size_t count);
uint32_t Crc32Table(const unsigned char* bytes, size_t count);
