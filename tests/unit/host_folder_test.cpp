#include "payload/host_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A file is in the held folder when the system names it as the folder's name joined
// with its own by one separator, regardless of case.
TEST(HostFolder, WhatIsNamedInTheFolder) {
  struct Case {
    std::u16string folder;
    std::u16string file;
    std::u16string name;
    bool inside;
  };
  const std::u16string kUnc = u"\\\\?\\UNC\\server\\share\\Torvix";
  const std::u16string kPf = u"\\\\?\\C:\\Program Files\\Torvix";
  const Case cases[] = {
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\TORVIX\\LXWEPB.TLX", u"LXWEPB.TLX", true},
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\torvix\\lxwepb.tlx", u"LXWEPB.TLX", true},
      {u"\\\\?\\C:\\", u"\\\\?\\C:\\LXWEPB.TLX", u"LXWEPB.TLX", true},  // a drive root
      {u"\\\\?\\UNC\\server\\share\\", u"\\\\?\\UNC\\server\\share\\X.DIC", u"x.dic", true},
      {kUnc, kUnc + u"\\X.DIC", u"X.DIC", true},
      // A folder on a volume mounted in a folder, named by the volume's GUID name.
      {u"\\\\?\\Volume{5eed}\\Torvix", u"\\\\?\\Volume{5eed}\\Torvix\\X.DIC", u"X.DIC", true},
      // An 8.3 host path: both handles are named by the long path.
      {kPf, kPf + u"\\X.DIC", u"X.DIC", true},
      {u"43000000:\\TORVIX", u"43000000:\\TORVIX\\X.DIC", u"X.DIC", true},
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\TORVIX\\\u00c4.DIC", u"\u00e4.dic", true},
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\TORVIX\\\u0191.DIC", u"\u0192.dic", true},  // hooked f
      // A link's target, or an object-manager link planted in a swapped folder.
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\ELSEWHERE.DAT", u"LXWEPB.TLX", false},
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\TORVIX\\LXWEPB2.CLX", u"LXWEPB.TLX", false},
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\Windows\\System32\\LXWEPB.TLX", u"LXWEPB.TLX", false},
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\TORVIX2\\LXWEPB.TLX", u"LXWEPB.TLX", false},
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\TORVIX\\SUB\\LXWEPB.TLX", u"LXWEPB.TLX", false},
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\TORVIX\\LXWEPB.TLX.OLD", u"LXWEPB.TLX", false},
      {u"\\\\?\\C:\\TORVIX", u"\\\\?\\C:\\TORVIX\\\u00c5.DIC", u"\u00e4.dic", false},
      {u"", u"\\LXWEPB.TLX", u"LXWEPB.TLX", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsNamedInFolder(c.folder.c_str(), c.file.c_str(), c.name.c_str()), c.inside)
        << std::string(c.file.begin(), c.file.end());
  }
}

}  // namespace
