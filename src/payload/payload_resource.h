#pragma once

#include "payload/resource_layout.h"
#include "platform/platform.h"

// The name of one entry's resource: its kind and its index, for instance NAME001.
struct EntryResourceName {
  char text[kLongestEntryResourceName + 1];
  EntryResourceName(EntryKind kind, unsigned index);
};

// Looks the name up among the RCDATA resources of the running executable. When it
// is absent, says so under "Internal error" and ends the run.
PayloadResource LoadPayloadResource(Platform& platform, const char* name);

// Says under "Internal error" that the named resource has the fault (kResourceNotFound,
// kResourceMalformed or kResourceDamaged of the messages), then ends the run.
[[noreturn]] void ReportResourceFault(Platform& platform, const char* name, const char* fault);

// Say under "Internal error" that the named resource is malformed (its build could
// not have made it) or damaged (its bytes differ from those the build stored), then
// end the run.
[[noreturn]] void ReportMalformedResource(Platform& platform, const char* name);
[[noreturn]] void ReportDamagedResource(Platform& platform, const char* name);
