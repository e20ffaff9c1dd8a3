// Reports 7 and 8: the rental items (category 81).  Report 7 lists all of
// them; report 8 only those out on rent, that is whose out date and out time
// (12 characters together) are not all blank.  One routine serves both and
// tells them apart by the current report number: 7 is the full listing, any
// other number the rented one.
//
// The listing has one page header at its top and never breaks, however many
// items it holds.
//
// Detail line, from column 1 (the first character of the stock index takes
// the carriage-control column):
//    1- 12  StockIndex        14- 25  ShortName        27- 50  LongName
//   52- 58  Price / 1000, real_to_text, 2 decimals (blank when zero)
//   60- 65  PLU               66      Tx, its last decimal digit ("-" when negative)
//   68- 75  RenterPhone with its blanks squeezed out, first 8 characters
//   77- 82  OutDate           84- 89  OutTime
#include <array>

#include "report_common/field_routines.h"
#include "report_common/framed_report.h"
#include "report_common/heading_line.h"
#include "reports/catalogue.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr std::int16_t kAllRentals = 7;
constexpr std::string_view kTitleAll = catalogue_entry(7).title;
constexpr std::string_view kTitleRented = catalogue_entry(8).title;

constexpr HeadingLine kHeading1 =
    heading_line({at(1, "Item Index"), at(14, "Short Name"), at(27, "Long Description"), at(53, "$/Unit"),
                  at(60, "Cross x"), at(68, "Renter"), at(78, "Out"), at(85, "Out")});
constexpr HeadingLine kHeading2 =
    heading_line({at(53, "Price"), at(60, "PLU-X"), at(66, "T"), at(68, "Phone#"), at(77, "Date"), at(84, "Time")});

constexpr std::string_view kBlank12 = "            ";

class Rental final : public FramedReport {
 public:
  explicit Rental(RunContext& ctx)
      : FramedReport(
            ctx,
            FrameLayout{
                .title = kTitleAll, .heading1 = kHeading1.text(), .heading2 = kHeading2.text(), .one_header = true}) {}

 private:
  // The report number is known by the first call; it picks the title.
  void prepare() override {
    all_rentals_ = ctx_.current_report == kAllRentals;
    frame_.set_title(all_rentals_ ? kTitleAll : kTitleRented);
  }

  bool selected(const ItemArea& it) const {
    if (i16(it, item::Cat) != item::kRentalCategory) return false;
    return all_rentals_ || compare_chars(text(it, item::OutDateTime), kBlank12, 12) != 0;
  }

  void take_item(const ItemArea& it) override {
    if (!selected(it)) return;
    frame_.clear_line();
    frame_.put_text(1, text(it, item::StockIndex));
    frame_.put_text(14, text(it, item::ShortName));
    frame_.put_text(27, text(it, item::LongName));
    frame_.put_real(52, 7, 2, static_cast<float>(i32(it, item::Price)) / 1000.0f);
    frame_.put_text(60, text(it, item::PLU));
    int_to_digits(i16(it, item::Tx), frame_.columns(66, 1), 1);
    // The phone is squeezed in a copy; the record keeps its blanks.
    std::array<char, 12> phone;
    copy_chars(text(it, item::RenterPhone), phone, 12);
    squeeze_blanks(phone, 12);
    frame_.put_text(68, std::string_view(phone.data(), 8));
    frame_.put_text(77, text(it, item::OutDate));
    frame_.put_text(84, text(it, item::OutTime));

    frame_.write_line();
  }

  bool all_rentals_ = true;
};

}  // namespace

std::unique_ptr<Report> make_rental(RunContext& ctx) { return std::make_unique<Rental>(ctx); }

}  // namespace report
