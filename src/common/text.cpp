#include "common/text.h"

#include <stdlib.h>
#include <string.h>

namespace {

// Length of text, counting no further than limit.
size_t BoundedLength(const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

}  // namespace

void CopyText(char* area, size_t capacity, const char* text) {
  if (capacity == 0) return;
  area[0] = '\0';
  AppendText(area, capacity, text);
}

void AppendText(char* area, size_t capacity, const char* text) {
  if (capacity == 0) return;
  size_t used = BoundedLength(area, capacity - 1);
  size_t room = capacity - 1 - used;
  size_t length = BoundedLength(text, room);
  memcpy(area + used, text, length);
  area[used + length] = '\0';
}

char* JoinText(const char* first, const char* second, const char* third) {
  size_t a = strlen(first);
  size_t b = strlen(second);
  size_t c = strlen(third);
  char* text = static_cast<char*>(malloc(a + b + c + 1));
  if (text == nullptr) return nullptr;
  memcpy(text, first, a);
  memcpy(text + a, second, b);
  memcpy(text + a + b, third, c);
  text[a + b + c] = '\0';
  return text;
}

void FreeText(char* text) { free(text); }

bool IsSameIgnoringCase(const char* a, const char* b) {
  size_t shared = SharedPrefixIgnoringCase(a, b);
  return a[shared] == '\0' && b[shared] == '\0';
}

size_t SharedPrefixIgnoringCase(const char* a, const char* b) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  size_t length = 0;
  while (a[length] != '\0' && upper(a[length]) == upper(b[length])) ++length;
  return length;
}
