#include "driver/period_calendar.h"

#include <string>

#include <gtest/gtest.h>

namespace driver {
namespace {

std::string label(std::string_view run_date) {
  report::RunDate d;
  std::copy_n(run_date.data(), d.size(), d.begin());
  const auto l = period_label(d);
  return std::string(l.begin(), l.end());
}

TEST(PeriodLabel, MonthNameAndTheRunDatesYearCharacters) {
  EXPECT_EQ(label("12-31-08"), "DECEMBER  08");
  EXPECT_EQ(label("01-02-08"), "JANUARY   08");
  EXPECT_EQ(label("09-15-24"), "SEPTEMBER 24");
  EXPECT_EQ(label("05-01-99"), "MAY       99");
  // The year characters are copied as they are.
  EXPECT_EQ(label("1/-2/-08"), "JANUARY   08");
  EXPECT_EQ(label("11-30-X7"), "NOVEMBER  X7");
}

TEST(PeriodLabel, AMonthOutsideOneToTwelveNamesJanuary) {
  EXPECT_EQ(label("13-01-08"), "JANUARY   08");
  EXPECT_EQ(label("00-01-08"), "JANUARY   08");
  EXPECT_EQ(label("AB-CD-EF"), "JANUARY   EF");
  EXPECT_EQ(label("-1-01-08"), "JANUARY   08");
  // Digit text: a leading blank is skipped, a trailing non-digit ends it.
  EXPECT_EQ(label(" 7-01-08"), "JULY      08");
  EXPECT_EQ(label("3/-01-08"), "MARCH     08");
}

}  // namespace
}  // namespace driver
