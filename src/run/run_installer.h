#pragma once

#include "platform/platform.h"

// The whole run, from the WIN.INI entry to the completion report. Never returns:
// every path ends the process through the platform's EndRun.
[[noreturn]] void RunInstaller(Platform& platform);
