#pragma once

#include "platform/platform.h"

// Checks every payload resource that is present against the size and checksum the build
// stored in SUMS, in lookup order, reading the mapped bytes in place. The first that
// differs is reported as damaged and ends the run, before anything is written. An
// absent resource is left for the extraction to report where it reaches it.
void VerifyPayload(Platform& platform);
