// Bounded text helpers: every fixed-size area is filled only through these, so a
// text that does not fit is cut at the area's capacity and never overflows it.
#pragma once

#include <stddef.h>

// Capacity of the long-lived text areas: 256 characters plus the terminator.
constexpr size_t kTextAreaSize = 257;

// Copies text into area, keeping at most capacity - 1 characters and the terminator.
void CopyText(char* area, size_t capacity, const char* text);

// Appends text to the zero-terminated text already in area, within the same bound.
void AppendText(char* area, size_t capacity, const char* text);

template <size_t N>
inline void CopyText(char (&area)[N], const char* text) {
  CopyText(area, N, text);
}

template <size_t N>
inline void AppendText(char (&area)[N], const char* text) {
  AppendText(area, N, text);
}

// Composes first, second and third (any may be empty) into a new text of any length.
// Returns nullptr when there is no memory for it; the caller frees it with FreeText.
char* JoinText(const char* first, const char* second, const char* third = "");
void FreeText(char* text);

// How many leading characters two texts share, letters compared regardless of their
// case (ASCII only), as file names and paths are compared.
size_t SharedPrefixIgnoringCase(const char* a, const char* b);

// True when the two texts are the same, letters compared regardless of their case
// (ASCII only), as file names and paths are compared.
bool IsSameIgnoringCase(const char* a, const char* b);
