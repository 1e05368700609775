#include "payload/payload_resource.h"

#include "common/text.h"
#include "run/run_state.h"

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
