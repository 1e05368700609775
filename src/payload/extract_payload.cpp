#include "payload/extract_payload.h"

#include "common/global_areas.h"
#include "common/text.h"
#include "payload/install_entry.h"
#include "payload/payload_resource.h"
#include "payload/temporary_names.h"
#include "payload/verify_payload.h"

namespace {

char UpperCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares names as the file system does, regardless of letter case.
bool IsSameName(const char* a, const char* b) {
  while (*a != '\0' && UpperCase(*a) == UpperCase(*b)) {
    ++a;
    ++b;
  }
  return UpperCase(*a) == UpperCase(*b);
}

// A name must end inside its resource and be a bare file name: not empty, no
// folder part, not "." or "..", so that nothing is ever written outside the folder;
// and not the temporary file's name, which would replace a file with itself.
bool IsSafeName(const PayloadResource& resource) {
  const unsigned char* bytes = resource.bytes;
  int32_t length = 0;
  while (length < resource.size && bytes[length] != 0) {
    unsigned char c = bytes[length];
    if (c == '\\' || c == '/' || c == ':') return false;
    ++length;
  }
  if (length == resource.size || length == 0) return false;
  const char* name = reinterpret_cast<const char*>(bytes);
  return !IsSameName(name, ".") && !IsSameName(name, "..") && !IsSameName(name, kTemporaryNames[0]);
}

PayloadEntry LoadEntry(Platform& platform, unsigned index) {
  PayloadEntry entry;
  EntryResourceName nameResource("NAME", index);
  PayloadResource name = LoadPayloadResource(platform, nameResource.text);
  if (!IsSafeName(name)) ReportMalformedResource(platform, nameResource.text);
  entry.name = reinterpret_cast<const char*>(name.bytes);

  EntryResourceName timeResource("TIME", index);
  PayloadResource time = LoadPayloadResource(platform, timeResource.text);
  if (time.size < 4) ReportMalformedResource(platform, timeResource.text);
  entry.stamp = ReadLittleEndian32(time.bytes);

  EntryResourceName dataResource("DATA", index);
  entry.data = LoadPayloadResource(platform, dataResource.text);
  if (entry.data.size < 0) ReportMalformedResource(platform, dataResource.text);
  return entry;
}

}  // namespace

void ExtractPayload(Platform& platform, const char* folder) {
  // Nothing is written unless every resource present is as the build made it.
  VerifyPayload(platform);

  PayloadResource files = LoadPayloadResource(platform, "FILES");
  if (files.size < 1) ReportMalformedResource(platform, "FILES");
  unsigned count = files.bytes[0];

  for (unsigned index = 1; index <= count; ++index) {
    PayloadEntry entry = LoadEntry(platform, index);
    if (!InstallEntry(platform, folder, entry)) {
      CopyText(MessageText, entry.name);
      AppendText(MessageText, " could not be created.");
      platform.ShowMessageBox(MessageText, "Fatal error", kStyleError);
      platform.EndRun();
    }
  }
}
