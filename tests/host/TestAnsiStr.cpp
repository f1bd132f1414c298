#include <gtest/gtest.h>

#include "support/RCAnsiStr.h"

TEST(AnsiStr, NewStringIsEmptyWithCapacity11)
{
    RCAnsiStr s;
    EXPECT_STREQ(s.Text(), "");
    EXPECT_EQ(s.Length(), 0);
    EXPECT_EQ(s.Capacity(), 11);
}
