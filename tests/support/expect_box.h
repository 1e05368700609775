// The one check of a run that ends in an error: exactly one box, with the error icon,
// this caption and this text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/fake_platform.h"

inline void ExpectOneErrorBox(const FakePlatform& platform, const std::string& caption,
                              const std::string& text) {
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, text);
  EXPECT_EQ(platform.boxes[0].caption, caption);
  EXPECT_EQ(platform.boxes[0].style, kStyleError);
}
