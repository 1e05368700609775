#pragma once

#include "platform/platform.h"

// The resource that holds the build's checksums of the payload resources: for FILES,
// then NAME, TIME and DATA of each entry in turn, a record of the resource's size and
// its CRC-32 (two little-endian 32-bit values), followed by the CRC-32 of all the
// records.
extern const char kChecksumResource[];

// Checks every payload resource that is present against its stored size and
// checksum, in lookup order, reading the mapped bytes in place. The first that
// differs is reported as damaged and ends the run, before anything is written. An
// absent resource is left for the extraction to report where it reaches it.
void VerifyPayload(Platform& platform);
