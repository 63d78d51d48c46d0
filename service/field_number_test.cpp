#include "field_number.h"

#include <gtest/gtest.h>

namespace morvasvc {
namespace {

TEST(ParseFieldNumber, Rules) {
  int64_t value = 0;
  EXPECT_TRUE(ParseFieldNumber("10 minutes", &value));
  EXPECT_EQ(10, value);
  EXPECT_TRUE(ParseFieldNumber("\t\r\n 7", &value));
  EXPECT_EQ(7, value);
  EXPECT_TRUE(ParseFieldNumber("  -5", &value));
  EXPECT_EQ(-5, value);
  EXPECT_TRUE(ParseFieldNumber("0", &value));
  EXPECT_EQ(0, value);
  EXPECT_TRUE(ParseFieldNumber("9", &value));
  EXPECT_EQ(9, value);
  // Past 2^40 the digits stop counting: no overflow, still far too large.
  EXPECT_TRUE(ParseFieldNumber("12345678901234567890123", &value));
  EXPECT_EQ(1234567890123, value);
  EXPECT_FALSE(ParseFieldNumber("", &value));
  EXPECT_FALSE(ParseFieldNumber("abc", &value));
  EXPECT_FALSE(ParseFieldNumber("- 5", &value));
  // Only the first 63 characters count.
  EXPECT_FALSE(ParseFieldNumber(std::string(63, ' ') + "5", &value));
  EXPECT_TRUE(ParseFieldNumber(std::string(62, ' ') + "5", &value));
  EXPECT_EQ(5, value);
}

}  // namespace
}  // namespace morvasvc
