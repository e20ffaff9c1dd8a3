#include "driver/options.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace driver {
namespace {

std::int16_t lookup(const std::vector<std::string_view>& words, std::string_view name, std::string& area) {
  return find_option(words, name, std::span<char>(area.data(), area.size()));
}

TEST(FindOption, MatchesOnlyTheExactWord) {
  std::string area(14, '#');
  EXPECT_EQ(lookup({}, "-F", area), -1);
  EXPECT_EQ(lookup({"-f", "STOCK"}, "-F", area), -1);
  EXPECT_EQ(lookup({"-FX", "STOCK", "F", "STOCK"}, "-F", area), -1);
  EXPECT_EQ(lookup({"-D", "010208", "-DTX", "010208"}, "-DT", area), -1);
  EXPECT_EQ(area, std::string(14, '#'));
  EXPECT_EQ(lookup({"STOCK", "-F", "ITEMS"}, "-F", area), 5);
  EXPECT_EQ(area, "ITEMS#########");
}

TEST(FindOption, FirstOccurrenceWinsAndAValueNeverBeginsWithMinus) {
  std::string area(14, ' ');
  EXPECT_EQ(lookup({"-F", "ONE", "-F", "TWO"}, "-F", area), 3);
  EXPECT_EQ(area.substr(0, 3), "ONE");
  // The first occurrence has no value: the second is not looked at.
  EXPECT_EQ(lookup({"-F", "-F", "TWO"}, "-F", area), 0);
  EXPECT_EQ(lookup({"-RPT", "-5"}, "-RPT", area), 0);
  EXPECT_EQ(lookup({"-RPT", "01", "-F"}, "-F", area), 0);
  // A value word can itself look like an option name.
  EXPECT_EQ(lookup({"X", "-RPT"}, "X", area), 0);
  EXPECT_EQ(lookup({"-DT", "-RPT", "05"}, "-RPT", area), 2);
}

TEST(FindOption, CopiesAtMostTheAreaAndLeavesTheRest) {
  std::string area(14, '#');
  EXPECT_EQ(lookup({"-F", "ABCDEFGHIJKLMNOPQRST"}, "-F", area), 14);
  EXPECT_EQ(area, "ABCDEFGHIJKLMN");
  std::string small(3, '#');
  EXPECT_EQ(lookup({"-F", "ABCDEFGHIJKLMNOPQRST"}, "-F", small), 3);
  EXPECT_EQ(small, "ABC");
}

// Console input from a string; console output collected in a string.
struct FakeConsole {
  explicit FakeConsole(const std::string& input) : text(input) {
    in = text.empty() ? std::fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
    out = open_memstream(&buffer, &size);
  }
  ~FakeConsole() {
    std::fclose(in);
    std::fclose(out);
    std::free(buffer);
  }
  std::string output() {
    std::fflush(out);
    return std::string(buffer, size);
  }
  std::string rest_of_input() {
    std::string rest;
    for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) rest += static_cast<char>(c);
    return rest;
  }
  std::string text;
  std::FILE* in;
  std::FILE* out;
  char* buffer = nullptr;
  std::size_t size = 0;
};

std::string name_of(const std::vector<std::string_view>& words, FakeConsole& console) {
  const DatabaseName name = database_name(words, console.in, console.out);
  return std::string(name.begin(), name.end());
}

TEST(DatabaseName, FromTheOptionCutOrPaddedToEight) {
  FakeConsole console("");
  EXPECT_EQ(name_of({"-RPT", "01", "-F", "INVENTORY123"}, console), "INVENTOR");
  EXPECT_EQ(name_of({"-F", "STOCK"}, console), "STOCK   ");
  EXPECT_EQ(console.output(), "");
}

TEST(DatabaseName, CharactersOutsideCommaToSmallZBecomeBlanks) {
  FakeConsole console("");
  // "+" (43) and "{" (123) lie just outside; "," (44) and "z" (122) just inside.
  EXPECT_EQ(name_of({"-F", "A+B{C,z"}, console), "A B C,z ");
  EXPECT_EQ(name_of({"-F", "N\xC3\xA9W"}, console), "N  W    ");
  EXPECT_EQ(name_of({"-F", "@[]^_`09"}, console), "@[]^_`09");
}

TEST(DatabaseName, PromptsWhenTheOptionGivesNoName) {
  for (const std::vector<std::string_view>& words :
       {std::vector<std::string_view>{"-RPT", "01"}, {"-RPT", "01", "-F"}, {"-F", "-RPT", "01"}}) {
    FakeConsole console("SHOP\nNEXT\n");
    EXPECT_EQ(name_of(words, console), "SHOP    ");
    EXPECT_EQ(console.output(), " NNNNNNNN      INPUT   File name \n");
    EXPECT_EQ(console.rest_of_input(), "NEXT\n") << "exactly one line is read";
  }
}

TEST(DatabaseName, ConsoleLineEdgeCases) {
  {
    FakeConsole console("A VERY LONG NAME\nNEXT\n");
    EXPECT_EQ(name_of({}, console), "A VERY L");
    EXPECT_EQ(console.rest_of_input(), "NEXT\n");
  }
  {
    FakeConsole console("STOCK\r\n");  // a carriage return becomes a blank
    EXPECT_EQ(name_of({}, console), "STOCK   ");
  }
  {
    FakeConsole console("SHOP");  // input ends without a newline
    EXPECT_EQ(name_of({}, console), "SHOP    ");
  }
  {
    FakeConsole console("");  // input ends at the prompt: an empty line
    EXPECT_EQ(name_of({}, console), "        ");
    EXPECT_EQ(console.output(), " NNNNNNNN      INPUT   File name \n");
  }
}

std::tm date(int year, int month, int day) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  return t;
}

std::string run_date(const std::vector<std::string_view>& words, const std::tm& today) {
  const report::RunDate d = run_date_text(words, today);
  return std::string(d.begin(), d.end());
}

TEST(RunDate, FromTheClockWithLeadingZeros) {
  EXPECT_EQ(run_date({}, date(2008, 1, 2)), "01-02-08");
  EXPECT_EQ(run_date({}, date(2000, 12, 31)), "12-31-00");
  EXPECT_EQ(run_date({}, date(2024, 10, 9)), "10-09-24");
}

TEST(RunDate, OnlyASixCharacterValueReplacesTheClock) {
  const std::tm today = date(2024, 10, 9);
  EXPECT_EQ(run_date({"-DT", "123108"}, today), "12-31-08");
  EXPECT_EQ(run_date({"-DT", "1/2/08"}, today), "1/-2/-08");
  EXPECT_EQ(run_date({"-DT", "ABCDEF"}, today), "AB-CD-EF");
  EXPECT_EQ(run_date({"-DT", "1231089"}, today), "10-09-24");
  EXPECT_EQ(run_date({"-DT", "12318"}, today), "10-09-24");
  EXPECT_EQ(run_date({"-DT", "-12318"}, today), "10-09-24");
  EXPECT_EQ(run_date({"-DT"}, today), "10-09-24");
  EXPECT_EQ(run_date({"-dt", "123108"}, today), "10-09-24");
  EXPECT_EQ(run_date({"-DT", "010208", "-DT", "123108"}, today), "01-02-08");
}

}  // namespace
}  // namespace driver
