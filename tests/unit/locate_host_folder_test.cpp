#include "run/locate_host_folder.h"

#include <gtest/gtest.h>

#include <string>

#include "common/messages.h"
#include "support/expect_box.h"
#include "support/fake_platform.h"
#include "support/payload_builder.h"
#include "support/runs.h"

namespace {

size_t Prompts(const FakePlatform& platform) {
  size_t count = 0;
  for (const ShownBox& box : platform.boxes) count += box.caption == kLocatePromptCaption;
  return count;
}

TEST(LocateHostFolder, DialogRecordFieldByField) {
  FakePlatform platform;
  platform.SetWinIni("Applications", "Torvix", "C:\\Missing");
  SetUpHost(platform, "D:\\Apps\\Host");
  SetPayload(platform, ThisBuildsPayload());
  platform.choices = {std::string("D:\\Apps\\Host\\torvixx.exe")};

  RunToEnd(platform);

  ASSERT_EQ(platform.dialogs.size(), 1u);
  const DialogCall& call = platform.dialogs[0];
  const OpenFileRecord& r = call.record;
  EXPECT_EQ(r.lStructSize, sizeof(OpenFileRecord));
  EXPECT_EQ(r.hwndOwner, nullptr);
  EXPECT_EQ(r.hInstance, nullptr);
  EXPECT_EQ(call.filter, std::string("Torvix program\0torvixx*.exe\0\0", 29));
  EXPECT_EQ(r.lpstrCustomFilter, nullptr);
  EXPECT_EQ(r.nMaxCustFilter, 0u);
  EXPECT_EQ(r.nFilterIndex, 0u);
  EXPECT_EQ(call.fileName, "torvixx.exe");
  EXPECT_EQ(r.nMaxFile, 257u);
  EXPECT_EQ(r.lpstrFileTitle, nullptr);
  EXPECT_EQ(r.nMaxFileTitle, 0u);
  EXPECT_EQ(call.initialDir, "C:\\Missing");
  EXPECT_EQ(call.title, "Locate Torvix Folder");
  EXPECT_EQ(r.Flags, 0x100Cu);
  EXPECT_EQ(r.nFileOffset, 0u);
  EXPECT_EQ(r.nFileExtension, 0u);
  EXPECT_EQ(r.lpstrDefExt, nullptr);
  EXPECT_EQ(r.lCustData, 0);
  EXPECT_EQ(r.lpfnHook, nullptr);
  EXPECT_EQ(r.lpTemplateName, nullptr);
  EXPECT_EQ(r.pvReserved, nullptr);
  EXPECT_EQ(r.dwReserved, 0u);
  EXPECT_EQ(r.FlagsEx, 0u);

  ASSERT_EQ(platform.boxes.size(), 3u);
  EXPECT_EQ(platform.boxes[1].text, kLocatePrompt);
  EXPECT_EQ(platform.boxes[1].caption, kLocatePromptCaption);
  EXPECT_EQ(platform.boxes[1].style, 1u);
}

TEST(LocateHostFolder, Attempts) {
  struct Case {
    const char* what;
    std::vector<int> answers;          // confirmation first, then each prompt
    std::vector<const char*> choices;  // each dialog's path, nullptr to cancel it
    std::string host;                  // where torvixx.exe really is
    bool located;                      // WIN.INI then names host; else it is unwritten
    size_t prompts;
    std::vector<std::string> initialDirs;
  };
  const char* const kT = "C:\\TORVIX";  // WIN.INI's folder, where the first dialog opens
  const char* const kH = "D:\\H";
  const char* const kOld = "E:\\Old\\torvixx2.exe";
  const char* const kRight = "D:\\H\\torvixx.exe";
  const int kOk = kAnswerOk;
  const int kCancel = kAnswerCancel;
  const Case cases[] = {
      {"located at the first try", {}, {kRight}, kH, true, 1, {kT}},
      {"the root of a drive", {}, {"C:\\torvixx.exe"}, "C:", true, 1, {kT}},
      {"another file of the host's folder", {}, {"D:\\H\\torvixx2.exe"}, kH, true, 1, {kT}},
      {"no host there, then the right folder", {}, {kOld, kRight}, kH, true, 2, {kT, "E:\\Old"}},
      {"a cancelled dialog brings the prompt back", {}, {nullptr, kRight}, kH, true, 2, {kT, kT}},
      {"a path without a folder is no result", {}, {"torvixx.exe", kRight}, kH, true, 2, {kT, kT}},
      {"Cancel on the prompt", {kOk, kCancel}, {}, kH, false, 1, {}},
      {"Cancel later forgets the first choice", {kOk, kOk, kCancel}, {kOld}, kH, false, 2, {kT}},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetUpHost(platform, c.host);
    platform.AddFile("E:\\Old\\torvixx2.exe");
    SetPayload(platform, ThisBuildsPayload());
    platform.answers.assign(c.answers.begin(), c.answers.end());
    for (const char* choice : c.choices) {
      platform.choices.push_back(choice ? std::optional<std::string>(choice) : std::nullopt);
    }

    RunToEnd(platform);

    EXPECT_EQ(platform.WinIni("Applications", "Torvix"),
              c.located ? std::make_optional(c.host) : std::nullopt);
    EXPECT_EQ(platform.Calls("WriteProfileStringA").size(), c.located ? 1 : 0);
    EXPECT_EQ(Prompts(platform), c.prompts);
    std::vector<std::string> initialDirs;
    for (const DialogCall& call : platform.dialogs) initialDirs.push_back(call.initialDir);
    EXPECT_EQ(initialDirs, c.initialDirs);
    EXPECT_EQ(platform.File(c.host + "\\LXWEPB2.CLX") != nullptr, c.located);
    if (c.located) {
      // Recorded once, after the probe that passed, before anything was written.
      size_t write = platform.FindCall("WriteProfileStringA Applications Torvix=" + c.host);
      size_t probe = platform.FindCall("ProbeFile " + c.host + "\\torvixx.exe");
      EXPECT_LT(probe, write);
      EXPECT_LT(write, platform.FindCall("CreateOutputFile"));
    }
  });
}

TEST(LocateHostFolder, NothingCanBeShown) {
  struct Case {
    const char* what;
    std::vector<int> answers;
    std::vector<std::optional<std::string>> choices;
    bool installs;
  };
  const int kNone = kAnswerNotShown;
  const std::string kChosen = "D:\\H\\torvixx.exe";
  const Case cases[] = {
      {"neither the prompt nor the dialog", {kNone, kNone}, {}, false},
      {"Wine's -1 for the prompt, no dialog", {-1, -1}, {}, false},
      {"no prompt, but a chosen file", {kNone, kNone}, {kChosen}, true},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetUpHost(platform, "D:\\H");
    SetPayload(platform, ThisBuildsPayload());
    platform.answers.assign(c.answers.begin(), c.answers.end());
    platform.choices.assign(c.choices.begin(), c.choices.end());

    RunToEnd(platform);

    EXPECT_EQ(platform.dialogs.size(), 1u);
    EXPECT_EQ(platform.Calls("WriteProfileStringA").size(), c.installs ? 1 : 0);
    EXPECT_EQ(platform.File("D:\\H\\LXWEPB.TLX") != nullptr, c.installs);
  });
}

// The chosen file's folder is the path up to its last "\\" or ":"; a trail byte of a
// double-byte character never counts. The next dialog opens where the last one led.
TEST(LocateHostFolder, TheFolderOfTheChosenFile) {
  struct Case {
    const char* what;
    unsigned codePage;
    std::string path;
    std::string folder;
  };
  // In code page 932 the character 0x95 0x5C has a trail byte with the value of "\\".
  const Case cases[] = {
      {"a plain path", 1252, "D:\\Apps\\Host\\torvixx.exe", "D:\\Apps\\Host"},
      {"a drive only", 1252, "C:torvixx.exe", "C"},
      {"a double-byte file name", 932, "C:\\Host\\\x95\x5C.exe", "C:\\Host"},
      {"the same bytes without double-byte support", 1252, "C:\\Host\\\x95\x5C.exe",
       "C:\\Host\\\x95"},
      {"a double-byte folder name", 932, "C:\\\x95\x5C\\torvixx.exe", "C:\\\x95\x5C"},
      {"a lead byte at the very end", 932, "C:\\Host\\\x95", "C:\\Host"},
      {"no separator at all: the folder stays", 1252, "torvixx.exe", "C:\\Missing"},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    platform.codePage = c.codePage;
    platform.SetWinIni("Applications", "Torvix", "C:\\Missing");
    platform.choices = {c.path, std::nullopt};
    platform.answers = {kAnswerOk, kAnswerOk, kAnswerOk, kAnswerCancel};

    RunToEnd(platform);

    ASSERT_EQ(platform.dialogs.size(), 2u);
    EXPECT_EQ(platform.dialogs[1].initialDir, c.folder);
  });
}

}  // namespace
