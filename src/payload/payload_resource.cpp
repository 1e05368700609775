#include "payload/payload_resource.h"

#include "common/global_areas.h"
#include "common/messages.h"
#include "common/text.h"
#include "payload/pad_number.h"

void ReportResourceFault(Platform& platform, const char* name, const char* fault) {
  CopyText(MessageText, kResourceOpening);
  AppendText(MessageText, name);
  AppendText(MessageText, kResourceNameEnd);
  AppendText(MessageText, fault);
  AppendText(MessageText, kResourceClosing);
  platform.ShowMessageBox(MessageText, kResourceCaption, kStyleError);
  platform.EndRun();
}

EntryResourceName::EntryResourceName(EntryKind kind, unsigned index) {
  char suffix[kIndexDigits + 1];
  PadNumber(index, "0", kIndexDigits, suffix);
  CopyText(text, kEntryKindNames[kind]);
  AppendText(text, suffix);
}

PayloadResource LoadPayloadResource(Platform& platform, const char* name) {
  PayloadResource resource = {};
  if (!platform.FindPayloadResource(name, resource)) {
    ReportResourceFault(platform, name, kResourceNotFound);
  }
  return resource;
}

void ReportMalformedResource(Platform& platform, const char* name) {
  ReportResourceFault(platform, name, kResourceMalformed);
}

void ReportDamagedResource(Platform& platform, const char* name) {
  ReportResourceFault(platform, name, kResourceDamaged);
}
