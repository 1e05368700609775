#include "support/extraction.h"

#include <algorithm>

#include "payload/extract_payload.h"

std::string InFolder(const std::string& name) { return std::string(kFolder) + "\\" + name; }

void Extract(FakePlatform& platform) {
  try {
    ExtractPayload(platform, kFolder);
  } catch (const RunEnded&) {
  }
}

size_t CountCalls(const FakePlatform& platform, const std::string& prefix) {
  return static_cast<size_t>(
      std::count_if(platform.calls.begin(), platform.calls.end(),
                    [&](const std::string& call) { return call.rfind(prefix, 0) == 0; }));
}
