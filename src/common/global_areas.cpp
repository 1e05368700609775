#include "common/global_areas.h"

char HostFolder[kTextAreaSize];
char HostVersion[3];
char MessageText[kTextAreaSize];
