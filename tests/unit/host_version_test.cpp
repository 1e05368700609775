#include "run/host_version.h"

#include <gtest/gtest.h>

#include <string>

#include "common/global_areas.h"
#include "common/host_facts.h"
#include "common/messages.h"
#include "support/expect_box.h"
#include "support/fake_platform.h"
#include "support/payload_builder.h"
#include "support/runs.h"

namespace {

std::string TooOld(const std::string& version) {
  return kVersionTooOld + version + kVersionTooOldSite + VendorSite;
}

TEST(HostVersion, Gate) {
  struct Case {
    const char* what;
    std::optional<std::string> value;  // in the settings file; nullopt when there is none
    std::string version;               // HostVersion as read
    bool passes;
    const char* section = "Common";
    const char* key = "Version";
  };
  const Case cases[] = {
      {"no settings file", std::nullopt, "", false},
      {"no Common section", "45", "", false, "Other"},
      {"no Version key", "x", "", false, "Common", "Name"},
      {"41", "41", "41", true},
      {"45", "45", "45", true},
      {"99", "99", "99", true},
      {"5 sorts after 41", "5", "5", true},
      {"4 is a prefix of 41", "4", "4", false},
      {"40", "40", "40", false},
      {"100 reads as 10", "100", "10", false},
      {"410 reads as 41", "410", "41", true},
      {"a high byte sorts after digits", "\xE9x", "\xE9x", true, "common", "version"},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    platform.AddFile("C:\\TORVIX\\torvixx.exe");
    if (c.value) platform.SetSetting("C:\\TORVIX\\torvix.ini", c.section, c.key, *c.value);
    SetPayload(platform, ThisBuildsPayload());

    RunToEnd(platform);

    EXPECT_EQ(std::string(HostVersion), c.version);
    EXPECT_EQ(platform.File("C:\\TORVIX\\LXWEPB.TLX") != nullptr, c.passes);
    ASSERT_EQ(platform.boxes.size(), 2u);
    if (c.passes) {
      EXPECT_EQ(platform.boxes[1].caption, kCompletionCaption);
    } else {
      EXPECT_EQ(platform.boxes[1].text, c.version.empty() ? kVersionUnknown : TooOld(c.version));
      EXPECT_EQ(platform.boxes[1].caption, kVersionCaption);
      EXPECT_EQ(platform.boxes[1].style, 16u);
      EXPECT_TRUE(platform.Writes().empty());
      EXPECT_EQ(platform.Paths().size(), c.value ? 2u : 1u);
    }
  });
  EXPECT_EQ(std::string(kVersionUnknown).size(), 143u);
}

TEST(HostVersion, RefusalKeepsTheLocatedFolder) {
  FakePlatform platform;
  SetUpHost(platform, "D:\\Old", "40");
  SetPayload(platform, ThisBuildsPayload());
  platform.choices = {std::string("D:\\Old\\torvixx.exe")};

  RunToEnd(platform);

  EXPECT_EQ(platform.boxes.back().text, TooOld("40"));
  EXPECT_EQ(platform.WinIni("Applications", "Torvix"), std::string("D:\\Old"));
  EXPECT_TRUE(platform.Writes().empty());
}

TEST(HostVersion, SettingsPathOfALongFolderIsNeverCut) {
  // A 257-character area would cut this folder's settings path to "...\torvix." and
  // read another file; the whole path is what the gate must read.
  std::string folder = "C:\\" + std::string(243, 'h');
  std::string full = folder + "\\torvix.ini";
  ASSERT_GT(full.size(), 256u);
  struct Case {
    const char* what;
    size_t pathLimit;
    std::string version;
  };
  const Case cases[] = {
      {"the platform takes the long path", 0, "45"},
      {"the platform rejects it: no version", 256, ""},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    platform.SetSetting(full, "Common", "Version", "45");
    platform.SetSetting(full.substr(0, 256), "Common", "Version", "30");
    platform.pathLimit = c.pathLimit;
    CopyText(HostFolder, folder.c_str());

    ReadHostVersion(platform);

    EXPECT_EQ(std::string(HostVersion), c.version);
    EXPECT_LT(platform.FindCall("GetPrivateProfileStringA " + full), platform.calls.size());
  });
}

// An old host's settings written without administrator rights into a protected folder are
// redirected into the user's VirtualStore: the copy decides when its version sorts later,
// and its WIN.INI entry counts where the real WIN.INI has none.
TEST(HostVersion, VirtualStoreCopy) {
  const std::string local = "C:\\Users\\ana\\AppData\\Local";
  const std::string store = local + "\\VirtualStore";
  struct Case {
    const char* what;
    std::string folder;                     // HostFolder
    std::optional<std::string> real;        // Version in the folder's torvix.ini
    std::optional<std::string> redirected;  // Version in the VirtualStore copy
    std::string storePath;       // where that copy is; empty: below store, as the folder is
    std::string version;         // HostVersion as read
    const char* runs = nullptr;  // the run's own LOCALAPPDATA, where it is not the user's
    const char* session = "C:\\Users\\ana";  // the signed-in user's profile
    std::string winIniCopy = "";  // a VirtualStore WIN.INI naming the folder, the real one not
    bool realEntry = true;        // the real WIN.INI names the folder (a copy then another)
  };
  const std::string pf = "C:\\Program Files\\Torvix";
  const std::string shortPf = "C:\\PROGRA~1\\Torvix";
  const std::string copy = store + "\\Program Files\\Torvix\\torvix.ini";
  const std::string winIni = store + "\\Windows\\win.ini";
  const char* const admin = "C:\\Users\\admin\\AppData\\Local";
  const char* const ana = "C:\\Users\\ana";
  const std::string apps = "D:\\Apps\\Torvix";
  const std::optional<std::string> none;
  const std::string eve =
      "C:\\Users\\eve\\AppData\\Local\\VirtualStore\\Program Files\\Torvix\\torvix.ini";
  const Case cases[] = {
      {"a newer copy decides", pf, "30", "45", "", "45"},
      {"a stale copy never wins", pf, "45", "40", "", "45"},
      {"both old: the newer is named", pf, "38", "40", "", "40"},
      {"only the copy", pf, none, "45", "", "45"},
      {"an empty Version in the copy", pf, "42", "", "", "42"},
      {"no copy", pf, "40", none, "", "40"},
      {"neither", pf, none, none, "", ""},
      {"the 32-bit program folder", "C:\\Program Files (x86)\\Torvix", "30", "45", "", "45"},
      {"in the Windows folder, any letter case", "c:\\WINDOWS\\Torvix", none, "45", "", "45"},
      {"another drive has no copy", "D:\\Program Files\\Torvix", "30", "45", "", "30"},
      {"not a protected folder", "C:\\Apps\\Torvix", "30", "45", "", "30"},
      {"a folder that only starts like one", "C:\\Program Files Old\\Torvix", "30", "45", "", "30"},
      {"a short path: the copy of the long one", shortPf, "30", "45", copy, "45"},
      {"a short path: never a copy under the short name", shortPf, "30", "45", "", "30"},
      {"a share", "\\\\server\\apps\\Torvix", "30", "45", "", "30"},
      // Elevated with an administrator's password: the run has that account's profile.
      {"elevated as another account: the signed-in user's copy", pf, "30", "45", "", "45", admin},
      {"elevated, and the session's user unknown", pf, "30", "45", "", "30", admin, nullptr},
      {"no other profile is read", pf, "30", "99", eve, "30", admin},
      {"WIN.INI's entry only in the running account's VirtualStore", apps, "45", none, "", "45",
       nullptr, ana, winIni, false},
      {"WIN.INI's entry only in the signed-in user's VirtualStore", apps, "45", none, "", "45",
       admin, ana, winIni, false},
      {"the real WIN.INI's entry first", apps, "45", none, "", "45", nullptr, ana, winIni},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    if (c.realEntry) platform.SetWinIni("Applications", "Torvix", c.folder);
    if (!c.winIniCopy.empty()) {
      platform.SetSetting(c.winIniCopy, "Applications", "Torvix",
                          c.realEntry ? "D:\\Nowhere" : c.folder);
    }
    platform.AddFile(c.folder + "\\torvixx.exe");
    if (c.real) platform.SetSetting(c.folder + "\\torvix.ini", "Common", "Version", *c.real);
    const std::string storePath =
        c.storePath.empty() ? store + c.folder.substr(2) + "\\torvix.ini" : c.storePath;
    if (c.redirected) platform.SetSetting(storePath, "Common", "Version", *c.redirected);
    if (c.session != nullptr) platform.sessionProfile = c.session;
    platform.environment = {{"LOCALAPPDATA", c.runs != nullptr ? c.runs : local},
                            {"PROGRAMFILES", "C:\\Program Files"},
                            {"PROGRAMFILES(X86)", "C:\\Program Files (x86)"},
                            {"PROGRAMW6432", "C:\\Program Files"},
                            {"SYSTEMROOT", "C:\\Windows"}};
    platform.shortNames["C:\\PROGRA~1"] = "C:\\Program Files";
    SetPayload(platform, ThisBuildsPayload());

    RunToEnd(platform);

    EXPECT_EQ(std::string(HostVersion), c.version);
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].caption,
              c.version >= kMinimumVersion ? kCompletionCaption : kVersionCaption);
    if (!c.version.empty() && c.version < kMinimumVersion) {
      EXPECT_NE(platform.boxes[1].text.find("Your version is " + c.version + "."),
                std::string::npos);
    }
  });
}

TEST(HostVersion, ALocalAppDataTooLongCountsAsNoVersion) {
  FakePlatform platform;
  platform.SetWinIni("Applications", "Torvix", "C:\\T");
  platform.AddFile("C:\\T\\torvixx.exe");
  platform.environment["LOCALAPPDATA"] = "C:\\" + std::string(300, 'x');
  SetPayload(platform, ThisBuildsPayload());

  RunToEnd(platform);

  EXPECT_EQ(std::string(HostVersion), "");
  EXPECT_EQ(platform.boxes.back().text, kVersionUnknown);
}

}  // namespace
