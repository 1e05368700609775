#include "run/run_state.h"

char HostFolder[kTextAreaSize];
char HostVersion[3];
char MessageText[kTextAreaSize];
