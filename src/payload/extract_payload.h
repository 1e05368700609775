#pragma once

#include "platform/platform.h"

// Writes every carried file into folder, each with its stored last-write time.
// Returns only when all of them have been written; any failure is reported in a box
// and ends the run.
void ExtractPayload(Platform& platform, const char* folder);
