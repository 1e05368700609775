#include "run/report_completion.h"

#include "common/global_areas.h"
#include "common/host_facts.h"
#include "common/messages.h"
#include "common/text.h"

namespace {

bool HasLexicon(Platform& platform) {
  char* pattern = JoinText(HostFolder, "\\", kLexiconPattern);
  bool found = pattern != nullptr && platform.ProbePattern(pattern);
  FreeText(pattern);
  return found;
}

}  // namespace

void ReportCompletion(Platform& platform) {
  CopyText(MessageText, kCompletionOpening);
  if (HasLexicon(platform)) {
    AppendText(MessageText, kCompletionWithLexicon);
  } else {
    AppendText(MessageText, kCompletionWithoutLexicon);
    AppendText(MessageText, VendorSite);
    AppendText(MessageText, kCompletionWithoutLexiconEnd);
  }
  platform.ShowMessageBox(MessageText, kCompletionCaption, kStyleOk);
}
