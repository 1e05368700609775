#include "payload/pad_number.h"

#include "common/text.h"

void PadNumber(unsigned number, const char* fill, unsigned width, char* area, size_t capacity) {
  char digits[12];
  char* first = digits + sizeof digits - 1;
  *first = '\0';
  unsigned length = 0;
  do {
    *--first = static_cast<char>('0' + number % 10);
    number /= 10;
    ++length;
  } while (number != 0);

  CopyText(area, capacity, "");
  for (unsigned i = length; i < width; ++i) AppendText(area, capacity, fill);
  AppendText(area, capacity, first);
}
