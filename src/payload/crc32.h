// CRC-32 as ZIP, PNG and zlib compute it (reflected polynomial 0xEDB88320, initial
// value and final value inverted), the checksum the build stores for every payload
// resource.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The CRC-32 of count bytes. It reads them in place, once, and copies nothing.
uint32_t Crc32(const unsigned char* bytes, size_t count);
