#include "run/host_paths.h"

#include "common/text.h"
#include "run/run_state.h"

const char kHostProgram[] = "torvixx.exe";

bool ProbeHostFile(Platform& platform, const char* fileName) {
  char* path = JoinText(HostFolder, "\\", fileName);
  bool found = path != nullptr && platform.ProbeFile(path);
  FreeText(path);
  return found;
}
