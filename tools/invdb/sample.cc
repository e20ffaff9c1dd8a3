#include "invdb/sample.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <string_view>

#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/item_csv.h"
#include "invdb/sample_data.h"

namespace invdb {

namespace item = report::item;

namespace {

using sample::Category;
using sample::Kind;

// splitmix64: a small generator whose sequence is the same everywhere (the
// standard distributions are not).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A whole number from lo to hi.
  int between(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1)); }
  bool chance(int percent) { return between(1, 100) <= percent; }
  template <typename T>
  const T& pick(const std::vector<T>& v) {
    return v[next() % v.size()];
  }

 private:
  std::uint64_t state_;
};

std::string digits(Random& r, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += static_cast<char>('0' + r.between(0, 9));
  return s;
}

// A short name: the long name's words cut to fit 12 characters.
std::string short_name(std::string_view noun, std::string_view size) {
  std::string s(noun.substr(0, 7));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  s += ' ';
  s += size.substr(0, 11 - s.size());
  return s;
}

void fill_rental(Random& r, report::ItemArea& a, int price_cents) {
  report::set_i32(a, item::Price, price_cents * 10);                        // the daily rate
  report::set_i32(a, item::UntCost, r.between(25, 45) * price_cents / 10);  // upkeep per rental
  report::set_i32(a, item::QOH, 1);
  report::set_i32(a, item::POI, 1);
  const int rentals = r.between(0, 12);
  report::set_i32(a, item::CycSold, rentals);
  report::set_i32(a, item::YTDSold, rentals + r.between(0, 60));
  report::set_i32(a, item::CycSalesAmt, rentals * price_cents);
  report::set_i32(a, item::YTDSalesAmt, report::i32(a, item::YTDSold) * price_cents);
  if (r.chance(45)) {  // out on rent: who has it and since when
    report::set_text(a, item::RenterPhone, "555-01" + digits(r, 2) + "-" + digits(r, 3));
    char date[8], time[8];
    std::snprintf(date, sizeof date, "%02d%02d%02d", r.between(1, 12), r.between(1, 28), 8);
    std::snprintf(time, sizeof time, "%02d:%02d", r.between(7, 18), r.between(0, 11) * 5);
    report::set_text(a, item::OutDate, date);
    report::set_text(a, item::OutTime, time);
  }
}

void fill_stock(Random& r, report::ItemArea& a, const Category& c, int price_cents) {
  const bool bulk = c.kind == Kind::kBulk;
  // Bulk goods are priced per unit of weight or length and counted in
  // hundredths of a unit.
  const int scale = bulk ? 100 : 1;
  const int price = price_cents * 10;
  const int cost = r.chance(4) ? 0 : price * r.between(45, 75) / 100;
  const int pack = bulk ? 1 : std::vector<int>{1, 1, 1, 6, 12, 24, 50, 100}[r.next() % 8];
  // Cheap goods turn over by the dozen, dear ones one or two at a time.
  const int rop = price_cents < 1000    ? r.between(10, 40)
                  : price_cents < 5000  ? r.between(3, 12)
                  : price_cents < 20000 ? r.between(1, 4)
                                        : r.between(1, 2);
  const int onhand = r.chance(3) ? -r.between(1, 5) : r.between(0, (bulk ? 2 : 4) * rop);
  report::set_i32(a, item::Price, price);
  report::set_i32(a, item::UntCost, cost);
  report::set_i32(a, item::PkgQty, pack);
  report::set_i16(a, item::QtyPkg, static_cast<std::int16_t>(pack));
  report::set_i32(a, item::QOH, onhand * scale + (bulk ? r.between(0, 99) : 0));
  report::set_i32(a, item::ROP, rop);
  report::set_i32(a, item::MOQ, std::max(pack, rop));
  report::set_i32(a, item::ROQ, std::max(pack, 2 * rop));
  report::set_i32(a, item::QOO, onhand <= rop && r.chance(60) ? std::max(pack, 2 * rop) : 0);
  report::set_i32(a, item::POI, r.chance(70) ? std::max(onhand + r.between(-2, 1), 0) : 0);
  report::set_i32(a, item::QOS, r.chance(10) ? r.between(1, 3) * scale : 0);
  int sold = r.chance(30) ? 0 : r.between(0, rop);
  if (r.chance(3)) sold = -r.between(1, 3);  // more returned than sold this cycle
  const int ytd_sold = std::max(sold, 0) + r.between(0, 2 * rop);
  const int bought = r.chance(30) ? std::max(pack, rop) : 0;
  const int ytd_bought = bought + r.between(0, 3) * std::max(pack, rop);
  report::set_i32(a, item::CycSold, sold);
  report::set_i32(a, item::YTDSold, ytd_sold);
  report::set_i32(a, item::CycSalesAmt, sold * price_cents);
  report::set_i32(a, item::YTDSalesAmt, ytd_sold * price_cents);
  report::set_i32(a, item::CycPurchQty, bought);
  report::set_i32(a, item::YTDPurchQty, ytd_bought);
  report::set_i32(a, item::CycPurchAmt, bought * cost / 10);
  report::set_i32(a, item::YTDPurchAmt, ytd_bought * cost / 10);
  report::set_text(a, item::UnitDscp, bulk ? (c.number == 43 || c.number == 90 ? "LB" : "FT") : "EA");
  report::set_text(a, item::PkgDscp, pack > 1 ? (pack >= 50 ? "BOX" : "CASE") : "");
}

report::ItemArea fill_item(Random& r, const std::string& stock_index, const Category& c);

report::ItemArea make_item(Random& r, const std::string& stock_index) {
  const auto& cats = sample::categories();
  // Rentals are few; the other categories share the rest.
  static const Category& rentals =
      *std::find_if(cats.begin(), cats.end(), [](const Category& k) { return k.number == item::kRentalCategory; });
  static const int total = [&] {
    int sum = 0;
    for (const Category& k : cats) sum += k.weight;
    return sum;
  }();
  const Category* c = &rentals;
  if (!r.chance(2)) {
    int pick = r.between(1, total);
    for (const Category& k : cats)
      if ((pick -= k.weight) <= 0) {
        c = &k;
        break;
      }
  }
  return fill_item(r, stock_index, *c);
}

report::ItemArea fill_item(Random& r, const std::string& stock_index, const Category& c) {
  const std::string_view noun = r.pick(c.nouns);
  const std::string_view size = r.pick(sample::sizes());
  report::ItemArea a = blank_item();
  report::set_text(a, item::StockIndex, stock_index);
  report::set_text(a, item::LongName, std::string(noun) + " " + std::string(size));
  report::set_text(a, item::ShortName, short_name(noun, size));
  const auto& departments = sample::vendors_by_department();
  const auto& vendors = departments[r.chance(85) ? c.dept - 1 : r.next() % departments.size()];
  report::set_text(a, item::Vendor, r.pick(vendors));
  report::set_text(a, item::PLU, digits(r, 5));
  if (r.chance(80)) report::set_text(a, item::Alternate, "0" + digits(r, 11));
  const int price_cents = r.between(c.price_lo, c.price_hi);
  if (c.kind == Kind::kRental)
    fill_rental(r, a, price_cents);
  else
    fill_stock(r, a, c, price_cents);
  report::set_i16(a, item::Tg, static_cast<std::int16_t>(r.chance(10)));
  report::set_i16(a, item::Ds, static_cast<std::int16_t>(r.chance(80)));
  report::set_i16(a, item::Sk, 1);
  report::set_i16(a, item::Tx, static_cast<std::int16_t>(c.dept == 5 && r.chance(50) ? 0 : 1));
  report::set_i16(a, item::Ln, static_cast<std::int16_t>(r.between(0, 3)));
  report::set_i16(a, item::Dept, static_cast<std::int16_t>(c.dept));
  // A few items were never given a category, or carry an old number.
  const int cat = c.kind != Kind::kRental && r.chance(1) ? (r.chance(50) ? 0 : 120) : c.number;
  report::set_i16(a, item::Cat, static_cast<std::int16_t>(cat));
  report::set_i16(a, item::Sc, static_cast<std::int16_t>(r.between(1, 9)));
  report::set_i16(a, item::UnitType, static_cast<std::int16_t>(c.kind == Kind::kBulk ? 2 : 1));
  report::set_i16(a, item::Field252, 1);
  return a;
}

std::string category_names() {
  std::string text;
  for (const Category& c : sample::categories()) {
    char line[64];
    std::snprintf(line, sizeof line, "DPT %02d,%.*s,%d\r\n", c.number, static_cast<int>(c.name.size()), c.name.data(),
                  c.dept);
    text += line;
  }
  return text;
}

}  // namespace

SampleStore make_sample(int count, std::uint64_t seed) {
  Random r(seed);
  SampleStore store;
  // Stock indexes ascend with gaps, then the items are added in a shuffled
  // order, as a store's items arrive over the years.
  const int discontinued = count / 200;
  std::vector<std::string> indexes;
  int next = 100000;
  for (int i = 0; i < count + discontinued; ++i) {
    next += r.between(1, 7);
    indexes.push_back(std::to_string(next));
  }
  for (std::size_t i = indexes.size(); i > 1; --i) std::swap(indexes[i - 1], indexes[r.next() % i]);
  for (int i = 0; i < count + discontinued; ++i)
    (i < count ? store.items : store.discontinued).push_back(make_item(r, indexes[i]));
  store.left_heading = report::control::heading_text(sample::kLeftHeading);
  store.right_heading = report::control::heading_text(sample::kRightHeading);
  store.category_names = category_names();
  return store;
}

namespace {

bool build_sample(const DbPath& path, const SampleStore& store, std::string& error, files::Session* session) {
  Database db(Database::Access::kWrite, bulk_load_options(), session);
  if (!db.open(path, error)) return false;
  for (const auto& items : {&store.items, &store.discontinued})
    for (const report::ItemArea& a : *items)
      if (!db.add_record(a, error)) return false;
  if (!db.write_heading(report::control::Heading::kLeft, store.left_heading, error) ||
      !db.write_heading(report::control::Heading::kRight, store.right_heading, error))
    return false;
  for (const report::ItemArea& a : store.discontinued) {
    const auto entry = db.find({reinterpret_cast<const char*>(a.data()), kKeyLength});
    if (!entry || !db.delete_record(*entry, error)) return false;
  }
  return db.close(error);
}

}  // namespace

int cmd_sample(const Args& args, const Io& io) {
  constexpr std::string_view kUsage = "sample NAME [--items N] [--seed S] [--force]";
  long count = 2000, seed = 1;
  bool force = false;
  if (args.empty()) return io.usage(kUsage);
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--force") {
      force = true;
    } else if (i + 1 == args.size()) {
      return io.usage(kUsage);
    } else if (args[i] == "--items") {
      if (!parse_number_option("--items", args[++i], 1, 32000, count, io)) return 2;
    } else if (args[i] == "--seed") {
      if (!parse_number_option("--seed", args[++i], 0, 2147483647, seed, io)) return 2;
    } else {
      return io.usage(kUsage);
    }
  }
  std::string error;
  const auto path = parse_db_path(args[0], error);
  if (!path) return io.fail(error);
  const std::filesystem::path names = path->dir / "StoreSales.csv";
  const std::string shown_names = (std::filesystem::path(path->given).parent_path() / "StoreSales.csv").string();
  std::error_code ec;
  // A store is never replaced, --force or not: it may be a real one.  Both
  // refusals are said at once, so that one step fixes the command.
  for (const auto& [file, shown] :
       {std::pair{path->index_file(), path->shown_index()}, std::pair{path->record_file(), path->shown_records()}})
    if (std::filesystem::exists(std::filesystem::symlink_status(file, ec)))
      return io.fail(shown + " already exists; sample never replaces a store, --force or not (--force covers only " +
                     shown_names + "): remove " + path->shown_index() + " and " + path->shown_records() +
                     " first, or give another name; nothing was created");
  if (!force && std::filesystem::exists(std::filesystem::symlink_status(names, ec)))
    return io.fail(shown_names + " already exists (a store's own category names?); sample --force replaces it; " +
                   "nothing was created");
  if (!create_database(*path, 32767, error)) return io.fail(error);
  const SampleStore store = make_sample(static_cast<int>(count), static_cast<std::uint64_t>(seed));
  if (!build_sample(*path, store, error, io.session) || !refuse_own_file(*path, names, error)) {
    std::filesystem::remove(path->index_file(), ec);
    std::filesystem::remove(path->record_file(), ec);
    return io.fail(error);
  }
  std::ofstream out(names, std::ios::binary | std::ios::trunc);
  out << store.category_names;
  out.close();
  if (!out) return io.fail(shown_names + ": cannot write the category names");
  std::fprintf(io.out, "sample store %s: %ld items, category names in %s\n", path->given.c_str(), count,
               shown_names.c_str());
  return 0;
}

}  // namespace invdb
