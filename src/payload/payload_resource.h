#pragma once

#include "platform/platform.h"

// Looks the name up among the RCDATA resources of the running executable. When it
// is absent, says so under "Internal error" and ends the run.
PayloadResource LoadPayloadResource(Platform& platform, const char* name);

// Says under "Internal error" that the named resource is malformed, then ends the run.
[[noreturn]] void ReportMalformedResource(Platform& platform, const char* name);
