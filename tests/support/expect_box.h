// The checks the unit tests share: the one check of a run that ends in an error
// (exactly one box, with the error icon, this caption and this text), and the oracle the
// sweep holds every run to.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/fake_platform.h"
#include "support/oracle.h"

inline void ExpectOneErrorBox(const FakePlatform& platform, const std::string& caption,
                              const std::string& text) {
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, text);
  EXPECT_EQ(platform.boxes[0].caption, caption);
  EXPECT_EQ(platform.boxes[0].style, kStyleError);
}

// The run into folder, whose disk was before, held to every check of the oracle.
inline void ExpectRunHeld(const FakePlatform& platform, const std::string& folder,
                          const Disk& before, const std::vector<PayloadFile>& payload) {
  EXPECT_EQ(CheckRun(platform, folder, before, payload).broken, std::vector<std::string>());
}
