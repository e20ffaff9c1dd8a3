// The report catalogue: the facts about each of the fifteen reports that
// more than one program needs, stated once.  The reports take their titles,
// file names and heading records from here; the help text, the renderer and
// the maintenance tool read the same table.
//
// Per report:
//   number         1 to 15, as given to "-RPT"
//   name           a short name in words ("sales and value by category")
//   title          printed listings: the 37-character title of page-header
//                  record 2 (columns 50-86); comma-separated exports: empty
//   file_name      the output file in the current directory
//   record_length  134 for a printed listing (132 print columns, CR LF),
//                  128 for a comma-separated export (126 columns, CR LF)
//   heading_record exports: the column names of the heading record, as
//                  printed from column 1 (they do not line up one to one
//                  with the values of report 6 and 15); listings: empty
//   unquoted       exports: the item text fields the records print as
//                  stored, never quoted, so a comma or double quote in one
//                  of them would split the record; listings: none
//
// Reports 1 and 4 share their title; report 4's column headings tell them
// apart.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "report_common/item_record.h"
#include "report_common/run_context.h"

namespace report {

inline constexpr int kReportCount = 15;
inline constexpr int kListingRecordLength = kLineLength;     // 134
inline constexpr int kExportRecordLength = kCsvColumns + 2;  // 128
inline constexpr int kTitleLength = 37;

struct CatalogueEntry {
  int number;
  std::string_view name;
  std::string_view title;
  std::string_view file_name;
  int record_length;
  std::string_view heading_record;
  std::span<const Field> unquoted;

  constexpr bool comma_separated() const { return record_length == kExportRecordLength; }
};

namespace catalogue_detail {
inline constexpr std::array kReorderUnquoted{item::StockIndex, item::ShortName, item::Vendor};
inline constexpr std::array kMarginUnquoted{item::StockIndex, item::LongName, item::Vendor, item::Alternate};
inline constexpr std::array kItemExportUnquoted{item::StockIndex, item::LongName, item::Vendor, item::Alternate};
}  // namespace catalogue_detail

inline constexpr std::array<CatalogueEntry, kReportCount> kCatalogue{{
    {1,
     "inventory status: every item, full detail",
     "------ Current Inventory Status -----",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {2, "re-order quantity export (comma-separated)", "", "OUTF21.DAT", kExportRecordLength,
     "StockIndex,ShortName,Price,QOH,QOO,MOQ,ROQ,ROP,POI,QOS,CPQ,Vendor,", catalogue_detail::kReorderUnquoted},
    {3, "scan support parameters", "----- Scan support    Parameters ----", "OUTF21.DAT", kListingRecordLength, "", {}},
    {4,
     "stock status, with the suggested order quantity",
     "------ Current Inventory Status -----",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {5,
     "below minimum: only the items with an order suggested",
     "----- Below Minimum Stock Status ----",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {6, "margin and value export (comma-separated)", "", "OUTF21.DAT", kExportRecordLength,
     "StockIndex,ShortName,Price,AvgCost,Margin,%MarkUp,InvValue,QOH,QOS,Shortage,Vendor,",
     catalogue_detail::kMarginUnquoted},
    {7,
     "rental inventory (category 81)",
     "------ Rental  Inventory Status -----",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {8,
     "rental items out on rent",
     "--- Rented Inventory Stock Status ---",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {9,
     "inventory value at price and at cost",
     "---- Current VALUE of Inventory -----",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {10,
     "current sales and value",
     "------ Current Sales & VALUE  -------",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {11,
     "current purchases and value",
     "---- Current Purchases & VALUE  -----",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {12,
     "sales and value by category",
     "----- Sales & VALUE by Category -----",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {13,
     "sales and value by department",
     "---- Sales & VALUE by Department ----",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {14,
     "sales and value by vendor",
     "----- Sales & VALUE  by  Vendor -----",
     "OUTF21.DAT",
     kListingRecordLength,
     "",
     {}},
    {15, "item export file", "", "KOROt15.csv", kExportRecordLength,
     "StockIndex,LongName,Vendor Id,Alternate,UntPrice,UntCost,Margin,MarkUp,"
     "InvValue,QOH,QOS,Shortage,   CycSold,YTDSold",
     catalogue_detail::kItemExportUnquoted},
}};

// The entry of report `number` (1 to 15).
constexpr const CatalogueEntry& catalogue_entry(int number) { return kCatalogue.at(number - 1); }

// The entry of report `number`, or null when it is not 1 to 15.
const CatalogueEntry* find_catalogue_entry(int number);

// The title for people: a listing's title without its rule hyphens and with
// single blanks ("Sales & VALUE by Vendor"); for an export, "export file" and
// its file name.
std::string display_title(const CatalogueEntry& entry);

// The reports that print the item text field `field` unquoted, in words:
// "2", "6 and 15", "2, 6 and 15"; empty when none does.
std::string reports_printing_unquoted(const Field& field);

namespace catalogue_detail {
constexpr bool consistent() {
  for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
    const CatalogueEntry& e = kCatalogue[i];
    if (e.number != static_cast<int>(i) + 1) return false;
    if (e.comma_separated()) {
      if (!e.title.empty() || e.heading_record.empty() || e.heading_record.size() > kCsvColumns) return false;
    } else {
      if (e.record_length != kListingRecordLength || e.title.size() != kTitleLength) return false;
      if (!e.heading_record.empty() || !e.unquoted.empty()) return false;
    }
  }
  return true;
}
static_assert(consistent(), "every listing has a 37-character title, every export a heading record");
}  // namespace catalogue_detail

}  // namespace report
