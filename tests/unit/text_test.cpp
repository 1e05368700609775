#include "common/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "payload/pad_number.h"

namespace {

TEST(BoundedText, CopyAndAppendStopAtTheAreaEnd) {
  struct Case {
    std::string first;
    std::string second;
    std::string expected;
  };
  const std::string a256(256, 'a');
  const Case cases[] = {
      {"abc", "def", "abcdef"},
      {"", "", ""},
      {a256, "", a256},
      {a256, "x", a256},                   // full: nothing more fits
      {std::string(300, 'a'), "x", a256},  // cut at 256 characters
      {std::string(250, 'a'), "0123456789", std::string(250, 'a') + "012345"},
  };
  for (const Case& c : cases) {
    [&] {
      char area[kTextAreaSize + 8];
      std::memset(area, '#', sizeof area);
      CopyText(area, kTextAreaSize, c.first.c_str());
      AppendText(area, kTextAreaSize, c.second.c_str());
      EXPECT_EQ(std::string(area), c.expected) << c.first.size() << "+" << c.second.size();
      for (size_t i = kTextAreaSize; i < sizeof area; ++i) ASSERT_EQ(area[i], '#') << "overflow";
    }();
  }
}

TEST(BoundedText, JoinHasAnyLength) {
  std::string folder(400, 'f');
  char* path = JoinText(folder.c_str(), "\\", "torvixx.exe");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(std::string(path), folder + "\\torvixx.exe");
  FreeText(path);
}

TEST(PadNumber, PadsButNeverTruncates) {
  struct Case {
    unsigned number;
    const char* fill;
    unsigned width;
    const char* expected;
  };
  const Case cases[] = {
      {1, "0", 3, "001"},     {12, "0", 3, "012"},   {255, "0", 3, "255"}, {0, "0", 3, "000"},
      {1000, "0", 3, "1000"}, {7, "ab", 3, "abab7"}, {42, "0", 0, "42"},
  };
  for (const Case& c : cases) {
    char area[16];
    PadNumber(c.number, c.fill, c.width, area);
    EXPECT_STREQ(area, c.expected) << c.number;
  }
}

}  // namespace
