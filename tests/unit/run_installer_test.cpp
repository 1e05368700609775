#include <gtest/gtest.h>

#include <string>

#include "common/global_areas.h"
#include "common/messages.h"
#include "support/expect_box.h"
#include "support/fake_platform.h"
#include "support/payload_builder.h"
#include "support/runs.h"

namespace {

const std::string kConfirmation =
    std::string(kConfirmationOpening) + "Brazilian Portuguese" + kConfirmationClosing;
const std::string kCompletedWithLexicon = std::string(kCompletionOpening) + kCompletionWithLexicon;
const std::string kCompletedWithoutLexicon = std::string(kCompletionOpening) +
                                             kCompletionWithoutLexicon + VendorSite +
                                             kCompletionWithoutLexiconEnd;

// Every message in its exact wording, once: the other tests take the texts from the
// messages header.
TEST(Messages, EachInItsExactWording) {
  const std::pair<const char*, const char*> cases[] = {
      {kConfirmationCaption, "Lexward Dictionary"},
      {kConfirmationOpening, "Installation of "},
      {kConfirmationClosing, " dictionary for Lexward is about to begin."},
      {kLocatePromptCaption, "Torvix not found in default folder"},
      {kLocatePrompt, "Please locate the Torvix program (torvixx.exe)"},
      {kLocateDialogTitle, "Locate Torvix Folder"},
      {kVersionCaption, "Error"},
      {kVersionUnknown,
       "Your Torvix version could not be determined.\r\rIf you have just now installed it, you "
       "need to first run it once and then run this program again."},
      {kVersionTooOld, "Torvix version must be 41 or newer.\rYour version is "},
      {kVersionTooOldSite, ".\r\rYou can download the newest Torvix version from "},
      {kCompletionCaption, "Setup Complete"},
      {kCompletionOpening, "Installation completed successfully.\r\r"},
      {kCompletionWithLexicon,
       "You can select which dictionary should be used in Torvix in Options > Spell Checker > "
       "Options."},
      {kCompletionWithoutLexicon,
       "You will now need to install one or more dictionaries.\rDownload them from "},
      {kCompletionWithoutLexiconEnd, "\r"},
      {kResourceCaption, "Internal error"},
      {kResourceOpening, "Resource \""},
      {kResourceNameEnd, "\" "},
      {kResourceNotFound, "not found."},
      {kResourceMalformed, "is malformed."},
      {kResourceDamaged, "is damaged."},
      {kResourceClosing, " Aborting."},
      {kEntryFailedCaption, "Fatal error"},
      {kEntryFailed, " could not be created."},
  };
  for (const auto& c : cases) EXPECT_STREQ(c.first, c.second);
  const char filter[] = "Torvix program\0torvixx*.exe\0";
  EXPECT_EQ(std::string(kLocateDialogFilter, sizeof kLocateDialogFilter),
            std::string(filter, sizeof filter));
  EXPECT_STREQ(VendorSite, "www.torvix.example");
}

bool Called(const FakePlatform& platform, const std::string& call) {
  return platform.FindCall(call) < platform.calls.size();
}

TEST(RunInstaller, TypicalRoad) {
  FakePlatform platform;
  platform.SetWinIni("Applications", "Torvix", "C:\\TORVIX");
  SetUpHost(platform, "C:\\TORVIX");
  std::vector<PayloadFile> payload = ThisBuildsPayload();
  SetPayload(platform, payload);

  RunToEnd(platform);

  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[0].text, kConfirmation);
  EXPECT_EQ(platform.boxes[0].caption, kConfirmationCaption);
  EXPECT_EQ(platform.boxes[0].style, 1u);
  EXPECT_EQ(platform.boxes[1].text, kCompletedWithLexicon);
  EXPECT_EQ(platform.boxes[1].text.size(), 132u);
  EXPECT_EQ(platform.boxes[1].caption, kCompletionCaption);
  EXPECT_EQ(platform.boxes[1].style, 0u);

  for (const PayloadFile& file : payload) {
    const FakeEntry* written = platform.File("C:\\TORVIX\\" + file.name);
    ASSERT_NE(written, nullptr) << file.name;
    EXPECT_EQ(written->bytes, file.bytes) << file.name;
    EXPECT_EQ(written->stamp, file.stamp) << file.name;
  }
  EXPECT_EQ(platform.Paths().size(), 4u) << "nothing but the host and the payload";
  EXPECT_EQ(platform.Calls("WriteProfileStringA").size(), 0);
  EXPECT_EQ(platform.calls.back(), "EndRun");
}

TEST(RunInstaller, ConfirmationAnswers) {
  struct Case {
    const char* what;
    int answer;
    bool installs;
  };
  const Case cases[] = {
      {"OK", kAnswerOk, true},
      {"Cancel, or closing the box", kAnswerCancel, false},
      {"a box that could not be shown", kAnswerNotShown, true},
      {"Wine's -1 for a box that could not be shown", -1, true},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetUpHost(platform, "C:\\TORVIX");
    SetPayload(platform, ThisBuildsPayload());
    platform.answers = {c.answer};

    RunToEnd(platform);

    EXPECT_EQ(platform.File("C:\\TORVIX\\LXWEPB.TLX") != nullptr, c.installs);
    EXPECT_EQ(platform.boxes.size(), c.installs ? 2u : 1u);
    if (!c.installs) {
      EXPECT_FALSE(Called(platform, "ProbeFile C:\\TORVIX\\torvixx.exe"));
      EXPECT_TRUE(platform.Writes().empty());
    }
  });
}

TEST(RunInstaller, HostFolderFromWinIni) {
  struct Case {
    const char* what;
    std::optional<std::string> entry;
    std::string folder;
  };
  const Case cases[] = {
      {"no entry: the default folder", std::nullopt, "C:\\TORVIX"},
      {"an entry", std::string("D:\\Apps\\Torvix"), "D:\\Apps\\Torvix"},
      {"an empty entry: the root of the current drive", std::string(""), ""},
      {"an entry with a trailing separator, used unchanged", std::string("E:\\T\\"), "E:\\T\\"},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    if (c.entry) platform.SetWinIni("Applications", "Torvix", *c.entry);
    SetUpHost(platform, c.folder);
    SetPayload(platform, ThisBuildsPayload());

    RunToEnd(platform);

    EXPECT_TRUE(Called(platform, "ProbeFile " + c.folder + "\\torvixx.exe"));
    EXPECT_NE(platform.File(c.folder + "\\LXWEPB2.CLX"), nullptr);
    EXPECT_EQ(platform.Calls("WriteProfileStringA").size(), 0);
    EXPECT_EQ(platform.WinIni("Applications", "Torvix"), c.entry);
  });
}

TEST(RunInstaller, CompletionSentence) {
  struct Case {
    const char* what;
    std::vector<PayloadFile> payload;
    bool clxDirectory;
    std::string expected;
  };
  const std::vector<PayloadFile> tlx = {{"A.TLX", PatternBytes(10, 1), kTlxStamp}};
  const Case cases[] = {
      {"a lexicon in the payload", ThisBuildsPayload(), false, kCompletedWithLexicon},
      {"no lexicon anywhere", tlx, false, kCompletedWithoutLexicon},
      {"a directory matching *.clx", tlx, true, kCompletedWithLexicon},
      {"an empty payload", {}, false, kCompletedWithoutLexicon},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetUpHost(platform, "C:\\TORVIX");
    if (c.clxDirectory) platform.AddDirectory("C:\\TORVIX\\OLD.CLX");
    SetPayload(platform, c.payload);

    RunToEnd(platform);

    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].text, c.expected);
    EXPECT_TRUE(Called(platform, "ProbePattern C:\\TORVIX\\*.clx"));
  });
}

TEST(RunInstaller, EmptyPayloadWritesNothingAndStillReports) {
  FakePlatform platform;
  SetUpHost(platform, "C:\\TORVIX");
  SetPayload(platform, {});

  RunToEnd(platform);

  EXPECT_TRUE(platform.Writes().empty());
  EXPECT_FALSE(Called(platform, "FindPayloadResource NAME001"));
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[1].caption, kCompletionCaption);
}

TEST(RunInstaller, ProbePathTooLongCountsAsMissing) {
  FakePlatform platform;
  std::string folder = "C:\\" + std::string(250, 'x');
  platform.SetWinIni("Applications", "Torvix", folder);
  SetUpHost(platform, folder);
  SetPayload(platform, ThisBuildsPayload());
  platform.pathLimit = 259;
  platform.answers = {kAnswerOk, kAnswerCancel};

  RunToEnd(platform);

  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[1].caption, kLocatePromptCaption);
  EXPECT_TRUE(platform.Writes().empty());
}

}  // namespace
