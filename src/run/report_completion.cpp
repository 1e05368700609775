#include "run/report_completion.h"

#include "common/global_areas.h"
#include "common/text.h"

namespace {

bool HasLexicon(Platform& platform) {
  char* pattern = JoinText(HostFolder, "\\*.clx");
  bool found = pattern != nullptr && platform.ProbePattern(pattern);
  FreeText(pattern);
  return found;
}

}  // namespace

void ReportCompletion(Platform& platform) {
  CopyText(MessageText, "Installation completed successfully.\r\r");
  if (HasLexicon(platform)) {
    AppendText(MessageText,
               "You can select which dictionary should be used in Torvix in "
               "Options > Spell Checker > Options.");
  } else {
    AppendText(MessageText, "You will now need to install one or more dictionaries.\r");
    AppendText(MessageText, "Download them from ");
    AppendText(MessageText, VendorSite);
    AppendText(MessageText, "\r");
  }
  platform.ShowMessageBox(MessageText, "Setup Complete", kStyleOk);
}
