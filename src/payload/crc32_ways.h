// The two ways Crc32 takes, for the tests that compare them and the benchmark that
// says which one ran: carry-less multiplication, which folds 64 bytes at a time on
// processors that have it, and a table that takes half a byte at a time on every
// processor (and the last few bytes on all of them).
#pragma once

#include <stddef.h>
#include <stdint.h>

bool Crc32FoldingSupported();
uint32_t Crc32Folded(const unsigned char* bytes, size_t count);
uint32_t Crc32Table(const unsigned char* bytes, size_t count);
