// The item record: one stock item, one 256-byte block of the record file.
//
// Byte layout (offsets from the start of the block, counted from 0).
// Characters are single bytes, blank-padded, never terminated.  Integers are
// little-endian two's complement.  Money is held as integers: prices and costs
// in thousandths of the currency unit, sales and purchase amounts in
// hundredths.  There are no floating-point fields.
//
//   0  2 chars  record class, "12" for items      (bytes 0-21 are the index key)
//   2 12 chars  StockIndex
//  14  8 chars  key rest
//  22 24 chars  LongName
//  46 12 chars  Vendor
//  58  6 chars  PLU
//  64  6        (opaque)
//  70  6 chars  UnitDscp      } rental items (Cat 81) hold the 12-character
//  76  6 chars  PkgDscp       } RenterPhone in bytes 70-81 instead
//  82  6 chars  OutDate
//  88  6 chars  OutTime
//  94 12 chars  ShortName
// 106 12 chars  Alternate
// 118 i32 Price (thousandths)        122 i32 UntCost (thousandths, 0 = none)
// 126 i32 PkgQty (per package)       130 i32 Field130 (read by no report)
// 134 i32 QOH   138 i32 QOO   142 i32 MOQ   146 i32 ROQ   150 i32 ROP
// 154 i32 POI   158 i32 QOS
// 162 i32 CycPurchQty  166 i32 YTDPurchQty  170 i32 CycSold  174 i32 YTDSold
// 178 i32 CycPurchAmt  182 i32 YTDPurchAmt  186 i32 CycSalesAmt  190 i32 YTDSalesAmt
//                                            (amounts in hundredths)
// 194 i16 Tg  196 i16 Ds  198 i16 Sk  200 i16 Tx  202 i16 Cl  204 i16 Cs
// 206 i16 Ln  208 i16 Dept  210 i16 Cat  212 i16 Sc
// 214 28      (opaque)
// 242 i16 UnitType (2: QOH and QOS are held in hundredths of a unit)
// 244  8      (opaque)
// 252 i16 Field252 (printed by the current purchases report under "Unt")
// 254 i16 QtyPkg (units in a pack)
//
// Control records share the file but not this layout (control_records.h).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "isam/file_format.h"

namespace report {

static_assert(std::endian::native == std::endian::little, "the integer fields are read in place as little-endian");

inline constexpr int kItemSize = isam::kBlockSize;
inline constexpr int kKeyLength = 22;
using ItemArea = std::array<std::uint8_t, kItemSize>;

enum class FieldKind { kText, kInt16, kInt32, kOpaque };

struct Field {
  std::string_view name;
  int offset;
  int width;  // bytes
  FieldKind kind;
};

namespace item {
inline constexpr Field RecordClass{"RecordClass", 0, 2, FieldKind::kText};
inline constexpr Field StockIndex{"StockIndex", 2, 12, FieldKind::kText};
inline constexpr Field KeyRest{"KeyRest", 14, 8, FieldKind::kText};
inline constexpr Field LongName{"LongName", 22, 24, FieldKind::kText};
inline constexpr Field Vendor{"Vendor", 46, 12, FieldKind::kText};
inline constexpr Field PLU{"PLU", 58, 6, FieldKind::kText};
inline constexpr Field Opaque64{"Opaque64", 64, 6, FieldKind::kOpaque};
inline constexpr Field UnitDscp{"UnitDscp", 70, 6, FieldKind::kText};
inline constexpr Field PkgDscp{"PkgDscp", 76, 6, FieldKind::kText};
inline constexpr Field OutDate{"OutDate", 82, 6, FieldKind::kText};
inline constexpr Field OutTime{"OutTime", 88, 6, FieldKind::kText};
inline constexpr Field ShortName{"ShortName", 94, 12, FieldKind::kText};
inline constexpr Field Alternate{"Alternate", 106, 12, FieldKind::kText};
inline constexpr Field Price{"Price", 118, 4, FieldKind::kInt32};
inline constexpr Field UntCost{"UntCost", 122, 4, FieldKind::kInt32};
inline constexpr Field PkgQty{"PkgQty", 126, 4, FieldKind::kInt32};
inline constexpr Field Field130{"Field130", 130, 4, FieldKind::kInt32};
inline constexpr Field QOH{"QOH", 134, 4, FieldKind::kInt32};
inline constexpr Field QOO{"QOO", 138, 4, FieldKind::kInt32};
inline constexpr Field MOQ{"MOQ", 142, 4, FieldKind::kInt32};
inline constexpr Field ROQ{"ROQ", 146, 4, FieldKind::kInt32};
inline constexpr Field ROP{"ROP", 150, 4, FieldKind::kInt32};
inline constexpr Field POI{"POI", 154, 4, FieldKind::kInt32};
inline constexpr Field QOS{"QOS", 158, 4, FieldKind::kInt32};
inline constexpr Field CycPurchQty{"CycPurchQty", 162, 4, FieldKind::kInt32};
inline constexpr Field YTDPurchQty{"YTDPurchQty", 166, 4, FieldKind::kInt32};
inline constexpr Field CycSold{"CycSold", 170, 4, FieldKind::kInt32};
inline constexpr Field YTDSold{"YTDSold", 174, 4, FieldKind::kInt32};
inline constexpr Field CycPurchAmt{"CycPurchAmt", 178, 4, FieldKind::kInt32};
inline constexpr Field YTDPurchAmt{"YTDPurchAmt", 182, 4, FieldKind::kInt32};
inline constexpr Field CycSalesAmt{"CycSalesAmt", 186, 4, FieldKind::kInt32};
inline constexpr Field YTDSalesAmt{"YTDSalesAmt", 190, 4, FieldKind::kInt32};
inline constexpr Field Tg{"Tg", 194, 2, FieldKind::kInt16};
inline constexpr Field Ds{"Ds", 196, 2, FieldKind::kInt16};
inline constexpr Field Sk{"Sk", 198, 2, FieldKind::kInt16};
inline constexpr Field Tx{"Tx", 200, 2, FieldKind::kInt16};
inline constexpr Field Cl{"Cl", 202, 2, FieldKind::kInt16};
inline constexpr Field Cs{"Cs", 204, 2, FieldKind::kInt16};
inline constexpr Field Ln{"Ln", 206, 2, FieldKind::kInt16};
inline constexpr Field Dept{"Dept", 208, 2, FieldKind::kInt16};
inline constexpr Field Cat{"Cat", 210, 2, FieldKind::kInt16};
inline constexpr Field Sc{"Sc", 212, 2, FieldKind::kInt16};
inline constexpr Field Opaque214{"Opaque214", 214, 28, FieldKind::kOpaque};
inline constexpr Field UnitType{"UnitType", 242, 2, FieldKind::kInt16};
inline constexpr Field Opaque244{"Opaque244", 244, 8, FieldKind::kOpaque};
inline constexpr Field Field252{"Field252", 252, 2, FieldKind::kInt16};
inline constexpr Field QtyPkg{"QtyPkg", 254, 2, FieldKind::kInt16};

// Overlays: other views of bytes the fields above cover.
inline constexpr Field KeyTail{"KeyTail", 2, 20, FieldKind::kText};           // StockIndex and KeyRest
inline constexpr Field RenterPhone{"RenterPhone", 70, 12, FieldKind::kText};  // rental items: UnitDscp, PkgDscp
inline constexpr Field OutDateTime{"OutDateTime", 82, 12, FieldKind::kText};  // OutDate and OutTime
inline constexpr Field CPQ{"CPQ", 166, 2, FieldKind::kInt16};                 // low-order half of YTDPurchQty

// Every byte of the block is covered exactly once by these fields, in offset
// order (the overlays are not listed).
inline constexpr std::array kAllFields{
    RecordClass, StockIndex,  KeyRest,   LongName,  Vendor,      PLU,         Opaque64,    UnitDscp,
    PkgDscp,     OutDate,     OutTime,   ShortName, Alternate,   Price,       UntCost,     PkgQty,
    Field130,    QOH,         QOO,       MOQ,       ROQ,         ROP,         POI,         QOS,
    CycPurchQty, YTDPurchQty, CycSold,   YTDSold,   CycPurchAmt, YTDPurchAmt, CycSalesAmt, YTDSalesAmt,
    Tg,          Ds,          Sk,        Tx,        Cl,          Cs,          Ln,          Dept,
    Cat,         Sc,          Opaque214, UnitType,  Opaque244,   Field252,    QtyPkg};

// The rental category.
inline constexpr std::int16_t kRentalCategory = 81;
}  // namespace item

// ---- reading and writing fields in place ----

inline std::string_view text(const ItemArea& area, const Field& f) {
  return {reinterpret_cast<const char*>(area.data()) + f.offset, static_cast<std::size_t>(f.width)};
}

inline std::int32_t i32(const ItemArea& area, const Field& f) {
  std::uint32_t v;
  std::memcpy(&v, area.data() + f.offset, 4);  // little-endian host
  return static_cast<std::int32_t>(v);
}

inline std::int16_t i16(const ItemArea& area, const Field& f) {
  std::uint16_t v;
  std::memcpy(&v, area.data() + f.offset, 2);
  return static_cast<std::int16_t>(v);
}

inline void set_i32(ItemArea& area, const Field& f, std::int32_t value) {
  std::memcpy(area.data() + f.offset, &value, 4);
}

inline void set_i16(ItemArea& area, const Field& f, std::int16_t value) {
  std::memcpy(area.data() + f.offset, &value, 2);
}

// Copies `value` into a text field, blank-padding or cutting it to the width.
inline void set_text(ItemArea& area, const Field& f, std::string_view value) {
  for (int i = 0; i < f.width; ++i)
    area[f.offset + i] = static_cast<std::uint8_t>(i < static_cast<int>(value.size()) ? value[i] : ' ');
}

}  // namespace report
