#pragma once

#include <stddef.h>

// Writes the decimal text of number into area and, when it is shorter than width,
// puts width minus its length copies of fill in front. It never truncates the number
// itself; the whole text is cut only where area ends.
void PadNumber(unsigned number, const char* fill, unsigned width, char* area, size_t capacity);

template <size_t N>
inline void PadNumber(unsigned number, const char* fill, unsigned width, char (&area)[N]) {
  PadNumber(number, fill, width, area, N);
}
