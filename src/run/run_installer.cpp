#include "run/run_installer.h"

#include "common/global_areas.h"
#include "common/host_facts.h"
#include "common/messages.h"
#include "common/text.h"
#include "payload/extract_payload.h"
#include "run/host_folder_entry.h"
#include "run/host_version.h"
#include "run/locate_host_folder.h"
#include "run/report_completion.h"

namespace {

// Asks before anything is touched; Cancel, or closing the box, ends the run.
void ConfirmInstallation(Platform& platform) {
  CopyText(MessageText, kConfirmationOpening);
  AppendText(MessageText, DictionaryLanguage);
  AppendText(MessageText, kConfirmationClosing);
  if (platform.ShowMessageBox(MessageText, kConfirmationCaption, kStyleOkCancel) == kAnswerCancel) {
    platform.EndRun();
  }
}

}  // namespace

void RunInstaller(Platform& platform) {
  ReadHostFolderEntry(platform);
  ConfirmInstallation(platform);
  if (!ProbeHostFile(platform, kHostProgram)) LocateHostFolder(platform);
  ReadHostVersion(platform);
  CheckHostVersion(platform);
  ExtractPayload(platform, HostFolder);
  ReportCompletion(platform);
  platform.EndRun();
}
