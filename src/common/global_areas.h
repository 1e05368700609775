// The process-global areas that live for the whole run.
#pragma once

#include "common/text.h"

// The host program's folder: from WIN.INI, or as located by the user.
extern char HostFolder[kTextAreaSize];
// The host's version text, 0 to 2 characters.
extern char HostVersion[3];
// The area in which every composed message is built.
extern char MessageText[kTextAreaSize];

// Build-time constants: the language name shown in the confirmation, and the
// vendor's web site that ends two messages.
extern const char DictionaryLanguage[];
extern const char VendorSite[];
