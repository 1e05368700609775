// Arbitrary resources to the extraction on the fake, under AddressSanitizer: no crash, no
// read outside a resource, nothing outside the folder or left open, one box at most. Most
// inputs carry the checksums of what they generate, so as to reach past the damage check.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "payload/extract_payload.h"
#include "payload/temporary_names.h"
#include "support/fake_platform.h"
#include "support/payload_builder.h"

namespace {

const std::string kFolder = "C:\\TORVIX";

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

// A created path must be the folder, one separator and a bare name.
bool InsideFolder(const std::string& path) {
  if (path.compare(0, kFolder.size() + 1, kFolder + "\\") != 0) return false;
  std::string name = path.substr(kFolder.size() + 1);
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("\\/:") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  FakePlatform platform;
  auto take = [&](size_t most) {
    std::string bytes = input.ConsumeRandomLengthString(most);
    return Bytes(bytes.begin(), bytes.end());
  };

  if (input.ConsumeIntegralInRange<int>(0, 15) != 0) platform.SetResource(kCountResource, take(4));
  unsigned entries = input.ConsumeIntegralInRange<unsigned>(0, 5);
  for (unsigned i = 1; i <= entries; ++i) {
    for (unsigned kind = 0; kind < kEntryKindCount; ++kind) {
      if (input.ConsumeIntegralInRange<int>(0, 15) == 0) continue;  // now and then missing
      size_t most = kind == kEntryData ? 70000 : 40;
      platform.SetResource(EntryResource(static_cast<EntryKind>(kind), i), take(most));
    }
  }
  switch (input.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      break;  // no checksums at all
    case 1:
      platform.SetResource(kChecksumResource, take(64));
      break;
    default: {
      // The checksums of what was generated, for the count FILES gives or another.
      const Bytes* files = platform.Resource(kCountResource);
      unsigned count = files != nullptr && !files->empty() ? (*files)[0] : 0;
      if (input.ConsumeIntegralInRange<int>(0, 7) == 0) count = input.ConsumeIntegral<uint8_t>();
      SealPayload(platform, count);
    }
  }
  if (input.ConsumeBool()) platform.freeSpace = input.ConsumeIntegralInRange<int64_t>(0, 140000);
  std::string readOnlyPath;
  if (input.ConsumeBool()) {
    std::string path = kFolder + "\\" + input.ConsumeRandomLengthString(12);
    FakeEntry& old = platform.AddFile(path, Bytes(3, 7));
    if (input.ConsumeBool()) {
      old.attributes = kAttributeReadOnly;
      readOnlyPath = path;
    }
  }

  try {
    ExtractPayload(platform, kFolder.c_str());
  } catch (const RunEnded&) {
  }

  for (const std::string& call : platform.calls) {
    if (call.rfind("Create", 0) != 0) continue;
    Require(InsideFolder(call.substr(call.find(' ') + 1)), "a file created outside the folder");
  }
  Require(platform.openFiles == 0, "a file left open");
  if (!readOnlyPath.empty()) {
    const FakeEntry* kept = platform.File(readOnlyPath);
    Require(kept != nullptr && kept->bytes == Bytes(3, 7) && !kept->stamp,
            "a read-only file changed");
  }
  Require(platform.boxes.size() == (platform.ended ? 1u : 0u), "one box exactly when it ends");
  for (const char* name : kTemporaryNames) {
    Require(platform.File(kFolder + "\\" + name) == nullptr, "a temporary file left behind");
  }
  return 0;
}
