#pragma once

#include "platform/platform.h"

// The name of one entry's resource: its kind and the 3-digit index, for instance
// NAME001.
struct EntryResourceName {
  char text[8];
  EntryResourceName(const char* kind, unsigned index);
};

// The kinds of an entry's resources, in lookup order.
extern const char* const kEntryResourceKinds[3];

// Looks the name up among the RCDATA resources of the running executable. When it
// is absent, says so under "Internal error" and ends the run.
PayloadResource LoadPayloadResource(Platform& platform, const char* name);

// Say under "Internal error" that the named resource is malformed (its build could
// not have made it) or damaged (its bytes differ from those the build stored), then
// end the run.
[[noreturn]] void ReportMalformedResource(Platform& platform, const char* name);
[[noreturn]] void ReportDamagedResource(Platform& platform, const char* name);

// The little-endian 32-bit value at bytes.
uint32_t ReadLittleEndian32(const unsigned char* bytes);
