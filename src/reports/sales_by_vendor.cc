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
#include <cstdint>
#include <cstring>

#include "report_common/field_routines.h"
#include "reports/catalogue.h"
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
  explicit SalesByVendor(RunContext& ctx) : UnitsAndValueReport(ctx, catalogue_entry(14).title, kSlots) {}

 private:
  void prepare_labels() override {
    for (VendorId& id : ids_) id.fill(' ');
    copy_chars(kOther, ids_[0], kIdLength);
    found_.fill(Found{});
    held_ = 1;
  }

  int group_of(const ItemArea& item) override {
    const std::string_view id = text(item, item::Vendor).substr(0, kIdLength);
    if (id == kBlankId) return 1;
    // The identifier's six bytes, and a bit above them so that no key is 0.
    std::uint64_t key = 0;
    std::memcpy(&key, id.data(), kIdLength);
    key |= std::uint64_t{1} << 48;
    for (std::size_t at = (key * 0x9E3779B97F4A7C15ULL) >> (64 - kHashBits);; at = (at + 1) % found_.size()) {
      Found& f = found_[at];
      if (f.key == key) return f.slot;
      if (f.key != 0) continue;
      if (held_ == kSlots) return 1;  // the table is full
      ++held_;
      f = Found{key, static_cast<std::int16_t>(held_)};
      copy_chars(id, ids_[static_cast<std::size_t>(held_ - 1)], kIdLength);
      return held_;
    }
  }

  void put_label(int number) override {
    frame_.put_int_last_digits(2, 3, static_cast<std::int16_t>(number));
    const VendorId& id = ids_[static_cast<std::size_t>(number - 1)];
    frame_.put_text(6, std::string_view(id.data(), id.size()));
  }

  std::array<VendorId, kSlots> ids_{};
  // The slots held, found by identifier: open addressing over 2048 entries
  // (at most 998 in use), probing onwards from the key's hash.
  struct Found {
    std::uint64_t key = 0;  // 0: empty
    std::int16_t slot = 0;
  };
  static constexpr int kHashBits = 11;
  std::array<Found, std::size_t{1} << kHashBits> found_{};
  int held_ = 1;  // the highest slot held
};

}  // namespace

std::unique_ptr<Report> make_sales_by_vendor(RunContext& ctx) { return std::make_unique<SalesByVendor>(ctx); }

}  // namespace report
