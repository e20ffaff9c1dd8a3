#include "invrender/sheet_layout.h"

namespace invrender {

namespace {

constexpr SheetColumn kInventoryStatus[] = {
    {2, 13, "StockIndex", false},
    {15, 19, "PLU xRef", false},
    {21, 32, "Vendor Name_Number", false},
    {33, 56, "Long Description", false},
    {57, 62, "Units Dscp", false},
    {63, 68, "Pack Dscp", false},
    {69, 72, "Units InPack", true},
    {73, 80, "List Price", true},
    {81, 88, "Average Cost", true},
    {89, 95, "QOH", true, 96},
    {96, 101, "QOO", true},
    {102, 107, "MOQ", true},
    {108, 113, "ROQ", true},
    {114, 119, "ROP", true},
    {120, 125, "Phy", true},
    {126, 132, "Short", true},
};

constexpr SheetColumn kScanSupport[] = {
    {2, 21, "Stock Index #", false},
    {22, 33, "UPC Alternate #", false},
    {35, 39, "PLU Xref#", false},
    {41, 52, "Short Description", false},
    {54, 77, "Long Description", false},
    {78, 85, "Unit Price", true},
    {86, 91, "Dept", true},
    {92, 95, "Cat", true},
    {96, 98, "Tx", true},
    {99, 101, "Cl", true},
    {102, 104, "Cs", true},
    {105, 107, "Ln", true},
    {108, 110, "Sc", true},
    {111, 113, "Ds", true},
    {114, 116, "Tg", true},
    {117, 119, "Sk", true},
    {121, 132, "Vendor Name/ID#", false},
};

constexpr SheetColumn kStockStatus[] = {
    {2, 21, "Stock Index #", false},
    {22, 26, "OPEN Dept#", false},
    {28, 51, "Long Description", false},
    {53, 60, "Short Dscprtn", false},
    {61, 68, "Unit Price", true},
    {69, 76, "Unit Cost", true},
    {77, 82, "Qty /Pkg", true},
    {84, 87, "Unit Dscp", false},
    {89, 92, "Pkg Dscp", false},
    {93, 98, "QOH", true},
    {99, 104, "QOO", true},
    {105, 110, "MOQ", true},
    {111, 116, "ROQ", true},
    {117, 122, "ROP", true},
    {123, 127, "Phy", true},
    {128, 132, "Shr", true},
};

constexpr SheetColumn kRental[] = {
    {1, 12, "Item Index", false},     {14, 25, "Short Name", false},    {27, 50, "Long Description", false},
    {52, 58, "$/Unit Price", true},   {60, 65, "Cross x PLU-X", false}, {66, 66, "T", true},
    {68, 75, "Renter Phone#", false}, {77, 82, "Out Date", false},      {84, 89, "Out Time", false},
};

constexpr SheetColumn kInventoryValue[] = {
    {1, 12, "Item Index", false},      {14, 25, "Short Name", false},        {26, 33, "Sales Price", true},
    {34, 41, "Purchase Cost", true},   {42, 50, "Sales $ Value", true},      {51, 59, "Purchase $ Value", true},
    {60, 68, "Cost $ MarkUp", true},   {69, 77, "Cost % MarkUp", true},      {78, 86, "Price % Margin", true},
    {88, 93, "Quantity OnHand", true}, {96, 119, "Long Description", false}, {121, 132, "Vendor Id", false},
};
constexpr TotalField kInventoryValueTotals[] = {{40, 49, 4}, {51, 59, 5}};

constexpr SheetColumn kCurrentSales[] = {
    {2, 13, "Item Index", false},      {15, 38, "Product Name", false}, {40, 45, "Vendor", false},
    {47, 52, "Cycle Qty", true},       {53, 60, "Cycle $", true},       {61, 67, "YTD Qty", true},
    {68, 75, "YTD $", true},           {76, 81, "Cycle $/U", true},     {82, 87, "YTD $/U", true},
    {88, 93, "AvCost $/U", true},      {94, 99, "$/UMargin Day", true}, {100, 105, "$/UMargin YTD", true},
    {106, 112, "Retail $Value", true}, {113, 119, "Cost $Value", true}, {120, 127, "Margin $", true},
    {128, 132, "YTD QOH", true},
};
constexpr TotalField kCurrentSalesTotals[] = {{40, 49, 4}, {51, 59, 6}};

constexpr SheetColumn kCurrentPurchases[] = {
    {2, 13, "Item Index", false},   {15, 38, "Product Name", false},
    {40, 45, "Vendor", false},      {47, 49, "Pk", false},
    {51, 53, "Unt", true},          {54, 57, "InPk", true},
    {58, 64, "Cost $/U", true},     {65, 71, "Retail $/U", true},
    {72, 78, "MarkUp $", true},     {79, 85, "MarkUp %", true},
    {86, 92, "Margin %", true},     {93, 98, "CyclePurc Qty", true},
    {99, 106, "CyclePurc $", true}, {107, 112, "YTD Purc Qty", true},
    {113, 120, "YTD Purc $", true}, {121, 127, "CstYTD $/U", true},
    {128, 132, "QOH", true},
};
constexpr TotalField kCurrentPurchasesTotals[] = {{40, 49, 12}, {51, 59, 14}};

// The grouped reports: the group's number and name, the sales of the cycle
// and of the year to date (sold, cost, margin, margin %), then purchases and
// stock value by category, or units and stock value by department and vendor.
constexpr SheetColumn kByCategory[] = {
    {2, 3, "Ct cNT", true},
    {5, 19, "Name", false},
    {20, 27, "Cycle Sold $", true},
    {28, 35, "Cycle Cost $", true},
    {36, 43, "Cycle Margin$", true},
    {44, 51, "Cycle Margin%", true},
    {58, 65, "YTD Sold $", true},
    {66, 73, "YTD Cost $", true},
    {74, 81, "YTD Margin$", true},
    {82, 88, "YTD Margin%", true},
    {92, 100, "CycPurc $", true},
    {101, 108, "YTDPurc $", true},
    {109, 117, "Retail $Value", true},
    {118, 126, "Cost $Value", true},
    {127, 132, "YTD QOH", true},
};
constexpr SheetColumn kByDepartment[] = {
    {2, 4, "Ct cNT", true},          {6, 19, "Name", false},
    {20, 27, "Cycle Sold $", true},  {28, 35, "Cycle Cost $", true},
    {36, 43, "Cycle Margin$", true}, {44, 51, "Cycle Margin%", true},
    {58, 65, "YTD Sold $", true},    {66, 73, "YTD Cost $", true},
    {74, 81, "YTD Margin$", true},   {82, 88, "YTD Margin%", true},
    {89, 95, "Sold Qty", true},      {96, 101, "Purc Qty", true},
    {102, 108, "YTD $/U", true},     {109, 117, "Retail $Value", true},
    {118, 126, "Cost $Value", true}, {127, 132, "YTD QOH", true},
};
constexpr SheetColumn kByVendor[] = {
    {2, 4, "Ct cNT", true},          {6, 17, "Name", false},
    {20, 27, "Cycle Sold $", true},  {28, 35, "Cycle Cost $", true},
    {36, 43, "Cycle Margin$", true}, {44, 51, "Cycle Margin%", true},
    {58, 65, "YTD Sold $", true},    {66, 73, "YTD Cost $", true},
    {74, 81, "YTD Margin$", true},   {82, 88, "YTD Margin%", true},
    {89, 95, "Sold Qty", true},      {96, 101, "Purc Qty", true},
    {102, 108, "YTD $/U", true},     {109, 117, "Retail $Value", true},
    {118, 126, "Cost $Value", true}, {127, 132, "YTD QOH", true},
};

}  // namespace

SheetLayout listing_layout(int number) {
  switch (number) {
    case 1: return {kInventoryStatus, {}};
    case 3: return {kScanSupport, {}};
    case 4:
    case 5: return {kStockStatus, {}};
    case 7:
    case 8: return {kRental, {}};
    case 9: return {kInventoryValue, kInventoryValueTotals};
    case 10: return {kCurrentSales, kCurrentSalesTotals};
    case 11: return {kCurrentPurchases, kCurrentPurchasesTotals};
    case 12: return {kByCategory, {}};
    case 13: return {kByDepartment, {}};
    case 14: return {kByVendor, {}};
    default: return {};
  }
}

}  // namespace invrender
