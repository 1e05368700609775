#include "run/host_version.h"

#include <gtest/gtest.h>

#include <string>

#include "run/run_state.h"
#include "support/fake_platform.h"
#include "support/payload_builder.h"

namespace {

const char kUndetermined[] =
    "Your Torvix version could not be determined.\r\r"
    "If you have just now installed it, you need to first run it once "
    "and then run this program again.";

std::string TooOld(const std::string& version) {
  return "Torvix version must be 41 or newer.\rYour version is " + version +
         ".\r\rYou can download the newest Torvix version from www.torvix.example";
}

TEST(HostVersion, Gate) {
  struct Case {
    const char* what;
    std::optional<std::string> settings;  // the settings file; nullopt when there is none
    std::string version;                  // HostVersion as read
    bool passes;
  };
  const Case cases[] = {
      {"no settings file", std::nullopt, "", false},
      {"no Common section", std::string("[Other]\r\nVersion=45\r\n"), "", false},
      {"no Version key", std::string("[Common]\r\nName=x\r\n"), "", false},
      {"41", std::string("[Common]\r\nVersion=41\r\n"), "41", true},
      {"45", std::string("[Common]\r\nVersion=45\r\n"), "45", true},
      {"99", std::string("[Common]\r\nVersion=99\r\n"), "99", true},
      {"5 sorts after 41", std::string("[Common]\r\nVersion=5\r\n"), "5", true},
      {"4 is a prefix of 41", std::string("[Common]\r\nVersion=4\r\n"), "4", false},
      {"40", std::string("[Common]\r\nVersion=40\r\n"), "40", false},
      {"100 reads as 10", std::string("[Common]\r\nVersion=100\r\n"), "10", false},
      {"410 reads as 41", std::string("[Common]\r\nVersion=410\r\n"), "41", true},
      {"a high byte sorts after digits", std::string("[common]\r\nversion=\xE9x\r\n"), "\xE9x",
       true},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.AddFile("C:\\TORVIX\\torvixx.exe");
    if (c.settings) platform.AddTextFile("C:\\TORVIX\\torvix.ini", *c.settings);
    SetPayload(platform, ThisBuildsPayload());

    RunToEnd(platform);

    EXPECT_EQ(std::string(HostVersion), c.version) << c.what;
    EXPECT_EQ(platform.File("C:\\TORVIX\\LXWEPB.TLX") != nullptr, c.passes) << c.what;
    ASSERT_EQ(platform.boxes.size(), 2u) << c.what;
    if (c.passes) {
      EXPECT_EQ(platform.boxes[1].caption, "Setup Complete") << c.what;
    } else {
      EXPECT_EQ(platform.boxes[1].text, c.version.empty() ? kUndetermined : TooOld(c.version))
          << c.what;
      EXPECT_EQ(platform.boxes[1].caption, "Error") << c.what;
      EXPECT_EQ(platform.boxes[1].style, 16u) << c.what;
      EXPECT_TRUE(platform.writes.empty()) << c.what;
      EXPECT_EQ(platform.Paths().size(), c.settings ? 2u : 1u) << c.what;
    }
  }
  EXPECT_EQ(std::string(kUndetermined).size(), 143u);
}

TEST(HostVersion, RefusalKeepsTheLocatedFolder) {
  FakePlatform platform;
  SetUpHost(platform, "D:\\Old", "40");
  SetPayload(platform, ThisBuildsPayload());
  platform.choices = {std::string("D:\\Old\\torvixx.exe")};

  RunToEnd(platform);

  EXPECT_EQ(platform.boxes.back().text, TooOld("40"));
  EXPECT_EQ(platform.WinIni("Applications", "Torvix"), std::string("D:\\Old"));
  EXPECT_TRUE(platform.writes.empty());
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
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.AddTextFile(full, "[Common]\r\nVersion=45\r\n");
    platform.AddTextFile(full.substr(0, 256), "[Common]\r\nVersion=30\r\n");
    platform.pathLimit = c.pathLimit;
    CopyText(HostFolder, folder.c_str());

    ReadHostVersion(platform);

    EXPECT_EQ(std::string(HostVersion), c.version) << c.what;
    EXPECT_EQ(platform.calls.back(), "GetPrivateProfileStringA " + full) << c.what;
  }
}

}  // namespace
