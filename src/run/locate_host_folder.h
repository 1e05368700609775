#pragma once

#include "platform/platform.h"

// Asks the user to point at the host program with the open-file dialog, as often as
// needed, until HostFolder holds it; then records HostFolder in WIN.INI. Cancel on
// the prompt ends the run.
void LocateHostFolder(Platform& platform);

// The last "\" or ":" in path, where a byte that is the second byte of a double-byte
// character does not count; nullptr when there is none.
const char* FindLastSeparator(Platform& platform, const char* path);
