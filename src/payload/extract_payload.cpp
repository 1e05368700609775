#include "payload/extract_payload.h"

#include "common/global_areas.h"
#include "common/messages.h"
#include "common/text.h"
#include "payload/install_entry.h"
#include "payload/payload_resource.h"
#include "payload/reclaim_leftovers.h"
#include "payload/temporary_names.h"
#include "payload/verify_payload.h"

namespace {

// Compares names as the file system does, regardless of letter case.
bool IsSameName(const char* a, const char* b) {
  size_t shared = SharedPrefixIgnoringCase(a, b);
  return a[shared] == '\0' && b[shared] == '\0';
}

// A name must end inside its resource and be a bare file name: not empty, no folder
// part, not "." or "..", so that nothing is ever written outside the folder; and none
// of the installer's temporary names, whose entries it writes and reclaims itself.
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
  if (IsSameName(name, ".") || IsSameName(name, "..")) return false;
  for (const char* temporary : kTemporaryNames) {
    if (IsSameName(name, temporary)) return false;
  }
  return true;
}

PayloadEntry LoadEntry(Platform& platform, unsigned index) {
  PayloadEntry entry;
  EntryResourceName nameResource(kEntryName, index);
  PayloadResource name = LoadPayloadResource(platform, nameResource.text);
  if (!IsSafeName(name)) ReportMalformedResource(platform, nameResource.text);
  entry.name = reinterpret_cast<const char*>(name.bytes);

  EntryResourceName timeResource(kEntryTime, index);
  PayloadResource time = LoadPayloadResource(platform, timeResource.text);
  if (time.size < kStampSize) ReportMalformedResource(platform, timeResource.text);
  entry.stamp = ReadLittleEndian32(time.bytes);

  EntryResourceName dataResource(kEntryData, index);
  entry.data = LoadPayloadResource(platform, dataResource.text);
  if (entry.data.size < 0) ReportMalformedResource(platform, dataResource.text);
  return entry;
}

}  // namespace

void ExtractPayload(Platform& platform, const char* folder) {
  // Nothing is written unless every resource present is as the build made it.
  VerifyPayload(platform);
  ReclaimLeftovers(platform, folder);

  PayloadResource files = LoadPayloadResource(platform, kCountResource);
  if (files.size < 1) ReportMalformedResource(platform, kCountResource);
  unsigned count = files.bytes[0];

  for (unsigned index = 1; index <= count; ++index) {
    PayloadEntry entry = LoadEntry(platform, index);
    if (!InstallEntry(platform, folder, entry)) {
      CopyText(MessageText, entry.name);
      AppendText(MessageText, kEntryFailed);
      platform.ShowMessageBox(MessageText, kEntryFailedCaption, kStyleError);
      platform.EndRun();
    }
  }
}
