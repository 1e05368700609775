#include "payload/temporary_names.h"

const char* const kTemporaryNames[kTemporaryNameCount] = {"~setup.tmp", "~setup.tm1", "~setup.tm2",
                                                          "~setup.tm3"};
