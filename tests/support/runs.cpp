#include "support/runs.h"

#include <stdexcept>

#include "payload/extract_payload.h"
#include "run/run_installer.h"

std::string InFolder(const std::string& name) { return std::string(kFolder) + "\\" + name; }

void RunToEnd(FakePlatform& platform) {
  try {
    RunInstaller(platform);
  } catch (const RunEnded&) {
    return;
  }
  throw std::logic_error("the run returned instead of ending through the one exit");
}

void Extract(FakePlatform& platform) {
  try {
    ExtractPayload(platform, kFolder);
    platform.ExpectNothingOpen();
  } catch (const RunEnded&) {
  }
}
