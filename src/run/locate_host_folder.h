#pragma once

#include "platform/platform.h"

// True when HostFolder, "\" and fileName name an existing file. A path that cannot
// be composed or that the platform rejects counts as absent.
bool ProbeHostFile(Platform& platform, const char* fileName);

// Asks the user to point at the host program with the open-file dialog, as often as
// needed, until HostFolder holds it; then records HostFolder in WIN.INI. Cancel on
// the prompt ends the run.
void LocateHostFolder(Platform& platform);
