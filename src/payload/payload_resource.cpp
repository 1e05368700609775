#include "payload/payload_resource.h"

#include "common/global_areas.h"
#include "common/text.h"
#include "payload/pad_number.h"

namespace {

[[noreturn]] void ReportResourceFault(Platform& platform, const char* name, const char* fault) {
  CopyText(MessageText, "Resource \"");
  AppendText(MessageText, name);
  AppendText(MessageText, "\" ");
  AppendText(MessageText, fault);
  AppendText(MessageText, " Aborting.");
  platform.ShowMessageBox(MessageText, "Internal error", kStyleError);
  platform.EndRun();
}

}  // namespace

const char* const kEntryResourceKinds[3] = {"NAME", "TIME", "DATA"};

EntryResourceName::EntryResourceName(const char* kind, unsigned index) {
  char suffix[4];
  PadNumber(index, "0", 3, suffix);
  CopyText(text, kind);
  AppendText(text, suffix);
}

PayloadResource LoadPayloadResource(Platform& platform, const char* name) {
  // The names used have at most 7 characters.
  char resourceName[21];
  CopyText(resourceName, name);

  PayloadResource resource = {};
  if (!platform.FindPayloadResource(resourceName, resource)) {
    ReportResourceFault(platform, resourceName, "not found.");
  }
  return resource;
}

void ReportMalformedResource(Platform& platform, const char* name) {
  ReportResourceFault(platform, name, "is malformed.");
}

void ReportDamagedResource(Platform& platform, const char* name) {
  ReportResourceFault(platform, name, "is damaged.");
}

uint32_t ReadLittleEndian32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
