// How a UTF-16 name is narrowed to the system's ANSI code page so that only an exact
// spelling counts, for every ANSI code page, decided here, free of windows.h, so that a
// native test holds it; win32_platform.cpp checks the numbers against the headers.
#pragma once

#include <stdint.h>

constexpr uint32_t kCodePageUtf8 = 65001;
constexpr uint32_t kCodePageGb18030 = 54936;
constexpr uint32_t kNarrowNoBestFitChars = 0x400;  // WC_NO_BEST_FIT_CHARS
constexpr uint32_t kNarrowErrInvalidChars = 0x80;  // WC_ERR_INVALID_CHARS

struct Narrowing {
  uint32_t flags;
  bool asksUsedDefault;  // whether the call is asked if it used the default character
};

// Where the ANSI code page is UTF-8 ("Use Unicode UTF-8 for worldwide language support")
// or GB 18030, which spell every character, WideCharToMultiByte takes only flags 0 or
// WC_ERR_INVALID_CHARS and no used-default pointer, and fails otherwise (Microsoft Learn,
// "WideCharToMultiByte function"); an unpaired surrogate then fails the conversion.
// Elsewhere no best-fit character is taken, and the used-default answer tells a name the
// code page cannot spell.
constexpr Narrowing NarrowingFor(uint32_t codePage) {
  return codePage == kCodePageUtf8 || codePage == kCodePageGb18030
             ? Narrowing{kNarrowErrInvalidChars, false}
             : Narrowing{kNarrowNoBestFitChars, true};
}
