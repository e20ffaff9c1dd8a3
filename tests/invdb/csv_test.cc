// The comma-separated text reader and writer, and the item columns on top.
#include <gtest/gtest.h>

#include "invdb/csv.h"
#include "invdb/item_csv.h"

namespace {

using invdb::csv::ParseError;
using invdb::csv::Record;
namespace item = report::item;

std::vector<Record> parse_ok(std::string_view text) {
  std::vector<Record> records;
  ParseError error;
  EXPECT_TRUE(invdb::csv::parse(text, records, error)) << error.message;
  return records;
}

ParseError parse_fails(std::string_view text) {
  std::vector<Record> records;
  ParseError error;
  EXPECT_FALSE(invdb::csv::parse(text, records, error));
  return error;
}

TEST(Csv, QuotedFieldsCarryCommasQuotesAndLineBreaks) {
  const auto r = parse_ok(
      "\xEF\xBB\xBF"
      "a,\"b,c\",\"say \"\"hi\"\"\"\r\n\"two\r\nlines\",x,\r\n\nlast,,\"\"");
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].fields, (std::vector<std::string>{"a", "b,c", "say \"hi\""}));
  EXPECT_EQ(r[1].fields, (std::vector<std::string>{"two\r\nlines", "x", ""}));
  EXPECT_EQ(r[2].fields, (std::vector<std::string>{"last", "", ""}));
  // Each record knows the line it starts on, past the break inside a field
  // and past the empty line.
  EXPECT_EQ(r[0].line, 1);
  EXPECT_EQ(r[1].line, 2);
  EXPECT_EQ(r[2].line, 5);
}

TEST(Csv, MalformedRecordsNameTheirLineAndField) {
  ParseError e = parse_fails("a,b\nc,d\"e\n");
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.column, 2);
  e = parse_fails("a,b\n\"c\"x,d\n");
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.column, 1);
  e = parse_fails("a,b\nc,\"never\nclosed\n");
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.column, 2);
  EXPECT_NE(e.message.find("never closed"), std::string::npos);
}

TEST(Csv, WrittenRecordsReadBackUnchanged) {
  const std::vector<std::string> fields = {"plain",       "",       "a,b",  "q\"q",           " lead", "trail ",
                                           "line\nbreak", "\"\"\"", "cr\r", "\"both\" ends\""};
  std::string text;
  invdb::csv::append_record(text, fields);
  invdb::csv::append_record(text, {"x"});
  EXPECT_TRUE(text.starts_with("plain,,\"a,b\",\"q\"\"q\",\" lead\",\"trail \","));
  const auto r = parse_ok(text);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].fields, fields);
  EXPECT_EQ(r[1].fields, std::vector<std::string>{"x"});
}

std::string header_line() {
  std::string h;
  invdb::csv::append_record(h, invdb::export_header());
  return h;
}

TEST(ItemCsv, EveryByteOfAnItemSurvivesExportAndRestore) {
  // Random bytes everywhere after the record class, blanks and zeros included.
  std::uint32_t x = 12345;
  report::ItemArea original{};
  for (auto& b : original) b = static_cast<std::uint8_t>((x = x * 1103515245 + 12345) >> 16);
  original[0] = '1';
  original[1] = '2';
  original[2] = 'A';                                 // a stock index that is not blank
  for (int i = 95; i < 106; ++i) original[i] = ' ';  // ShortName ends in blanks
  std::string text = header_line();
  invdb::csv::append_record(text, invdb::export_row(original));
  std::vector<invdb::ItemRow> rows;
  std::string error;
  ASSERT_TRUE(invdb::parse_item_csv(text, rows, error, invdb::ImportMode::kRestore)) << error;
  ASSERT_EQ(rows.size(), 1u);
  report::ItemArea copy = invdb::blank_item();
  rows[0].apply(copy);
  EXPECT_EQ(copy, original);
  EXPECT_EQ(rows[0].key(), std::string(reinterpret_cast<const char*>(original.data()), 22));
}

TEST(ItemCsv, CellsSetOnlyTheirBytesAndTextIsPadded) {
  std::vector<invdb::ItemRow> rows;
  std::string error;
  ASSERT_TRUE(
      invdb::parse_item_csv("QOH,StockIndex,LongName,Opaque64,RenterPhone\r\n-5,A1,Hammer,0aFF,555-0100\r\n"
                            "7,A2,,,\r\n",
                            rows, error))
      << error;
  ASSERT_EQ(rows.size(), 2u);
  report::ItemArea a = invdb::blank_item();
  rows[0].apply(a);
  EXPECT_EQ(rows[0].key(), "12A1          " + std::string(8, ' '));
  EXPECT_EQ(report::i32(a, item::QOH), -5);
  EXPECT_EQ(report::text(a, item::LongName), "Hammer" + std::string(18, ' '));
  EXPECT_EQ(report::text(a, item::RenterPhone), "555-0100    ");
  EXPECT_EQ(a[64], 0x0a);
  EXPECT_EQ(a[65], 0xff);
  EXPECT_EQ(a[66], 0);
  // Empty cells leave an existing item's bytes alone.
  report::set_text(a, item::LongName, "Old name");
  rows[1].apply(a);
  EXPECT_EQ(report::text(a, item::LongName), "Old name" + std::string(16, ' '));
  EXPECT_EQ(report::i32(a, item::QOH), 7);
}

std::string import_error(std::string_view text) {
  std::vector<invdb::ItemRow> rows;
  std::string error;
  EXPECT_FALSE(invdb::parse_item_csv(text, rows, error));
  return error;
}

TEST(ItemCsv, BadCellsAreRefusedWithTheirLineAndColumn) {
  EXPECT_EQ(import_error("StockIndex,Colour\nA,red\n"), "line 1, column 2 (Colour): unknown column");
  EXPECT_EQ(import_error("StockIndex,RecordClass\nA,12\n"), "line 1, column 2 (RecordClass): unknown column");
  EXPECT_NE(import_error("StockIndex,QOH,QOH\n").find("column 3 (QOH): repeats"), std::string::npos);
  EXPECT_NE(import_error("StockIndex,UnitDscp,RenterPhone\n").find("column 3 (RenterPhone)"), std::string::npos);
  EXPECT_NE(import_error("LongName\nx\n").find("no StockIndex"), std::string::npos);
  EXPECT_EQ(import_error("StockIndex,Dept\nA,1\nB,32768\n"),
            "line 3, column 2 (Dept): 32768 does not fit the field (-32768 to 32767)");
  EXPECT_NE(import_error("StockIndex,Price\nA,2147483648\n").find("line 2, column 2 (Price): 2147483648 does not fit"),
            std::string::npos);
  EXPECT_NE(import_error("StockIndex,Price\nA,99999999999999999999\n").find("does not fit"), std::string::npos);
  EXPECT_NE(import_error("StockIndex,Price\nA,1.50\n").find("(Price): \"1.50\" is not a whole number"),
            std::string::npos);
  EXPECT_NE(import_error("StockIndex,PLU\nA,1234567\n").find("line 2, column 2 (PLU): text of 7 characters"),
            std::string::npos);
  EXPECT_NE(import_error("StockIndex\nABCDEFGHIJKLM\n").find("(StockIndex): text of 13"), std::string::npos);
  EXPECT_EQ(import_error("QOH,StockIndex\n1,  \n"), "line 2, column 2 (StockIndex): StockIndex is empty");
  EXPECT_NE(import_error("StockIndex,Opaque64\nA,0g\n").find("not hexadecimal"), std::string::npos);
  EXPECT_NE(import_error("StockIndex,Opaque64\nA,00112233445566\n").find("up to 6 bytes"), std::string::npos);
  EXPECT_EQ(import_error("StockIndex,QOH\nA\n"), "line 2: 1 fields, the header has 2");
  EXPECT_EQ(import_error("StockIndex\n\"A\n"), "line 2, column 1: quoted field is never closed");
  // A malformed record is reported before the faults of the rows above it.
  EXPECT_EQ(import_error("StockIndex,QOH\nA,x\nA,1\nB,\"2\"x\n"), "line 4, column 2: text after the closing quote");
  EXPECT_EQ(import_error(""), "no header row");
}

}  // namespace
