#pragma once

#include "platform/platform.h"

// The platform operations of the running Windows process.
Platform& TheWin32Platform();
