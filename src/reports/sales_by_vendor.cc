// Report 14: sales and value by vendor.
//
// Vendors are identified by the first 6 characters of Vendor and get slots 2
// to 999 in the order in which they first appear in the walk; identifiers
// are compared byte for byte, so case and leading blanks matter.  Slot 1,
// "Other ", takes the items with a blank identifier and, once 998 vendors
// hold slots, the items of every further new vendor; it is never compared
// with an item's identifier.  Vendor line: 2-4 slot number (int_to_text),
// 6-11 the identifier, then the columns of the units-and-value listing from
// column 20 on.
#include <array>

#include "report_common/field_routines.h"
#include "reports/grouped_sales.h"
#include "reports/reports.h"

namespace report {

namespace {

constexpr int kSlots = 999;
constexpr int kIdLength = 6;
constexpr std::string_view kBlankId = "      ";
constexpr std::string_view kOther = "Other ";

using VendorId = std::array<char, kIdLength>;

class SalesByVendor final : public UnitsAndValueReport {
 public:
  explicit SalesByVendor(RunContext& ctx) : UnitsAndValueReport(ctx, "----- Sales & VALUE  by  Vendor -----", kSlots) {}

 private:
  void prepare_labels() override {
    for (VendorId& id : ids_) id.fill(' ');
    copy_chars(kOther, ids_[0], kIdLength);
  }

  int group_of(const ItemArea& item) override {
    const std::string_view id = text(item, item::Vendor).substr(0, kIdLength);
    if (id == kBlankId) return 1;
    for (int slot = 2; slot <= kSlots; ++slot) {
      VendorId& held = ids_[static_cast<std::size_t>(slot - 1)];
      const std::string_view held_view(held.data(), held.size());
      if (held_view == kBlankId) {
        copy_chars(id, held, kIdLength);
        return slot;
      }
      if (compare_chars(held_view, id, kIdLength) == 0) return slot;
    }
    return 1;  // the table is full
  }

  void put_label(int number) override {
    frame_.put_int_last_digits(2, 3, static_cast<std::int16_t>(number));
    const VendorId& id = ids_[static_cast<std::size_t>(number - 1)];
    frame_.put_text(6, std::string_view(id.data(), id.size()));
  }

  std::array<VendorId, kSlots> ids_{};
};

}  // namespace

std::unique_ptr<Report> make_sales_by_vendor(RunContext& ctx) { return std::make_unique<SalesByVendor>(ctx); }

}  // namespace report
