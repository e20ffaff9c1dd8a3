#include "report_common/field_routines.h"

#include <string>

#include <gtest/gtest.h>

namespace report {
namespace {

std::string real(float value, int decimals, int width) {
  std::string s(width, '?');
  real_to_text(value, decimals, width, s);
  return s;
}

TEST(RealToText, WorkedExamples) {
  EXPECT_EQ(real(12.345f, 2, 7), "  12.35");
  EXPECT_EQ(real(-12.345f, 2, 7), " -12.35");
  EXPECT_EQ(real(0.5f, 2, 7), "    .50");
  EXPECT_EQ(real(0.004f, 2, 7), "    .00");
  EXPECT_EQ(real(0.0f, 2, 7), "       ");
  EXPECT_EQ(real(42.0f, 0, 5), "   42");
  EXPECT_EQ(real(-42.0f, 0, 5), "  -42");
  EXPECT_EQ(real(0.0f, 0, 5), "     ");
  EXPECT_EQ(real(10000000.0f, 2, 8), "     .00");
  EXPECT_EQ(real(10000000.0f, 0, 8), "        ");
  EXPECT_EQ(real(-9999999.0f, 0, 8), "       -");
}

}  // namespace
}  // namespace report
