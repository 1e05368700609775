#pragma once

#include "platform/platform.h"

// Tells the user that the installation is complete and whether a compressed
// lexicon (kLexiconPattern) is now in the host folder.
void ReportCompletion(Platform& platform);
