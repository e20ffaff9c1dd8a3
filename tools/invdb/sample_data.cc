#include "invdb/sample_data.h"

namespace invdb::sample {

const std::vector<Category>& categories() {
  // clang-format off
  static const std::vector<Category> table = {
      {1, 12, 1, "Fasteners", Kind::kEach, 8, 900, {"WOOD SCREW", "MACHINE BOLT", "HEX NUT", "FLAT WASHER", "WALL ANCHOR", "LAG SCREW"}},
      {2, 6, 1, "Hand Tools", Kind::kEach, 400, 4500, {"CLAW HAMMER", "SCREWDRIVER", "PLIERS", "TAPE MEASURE", "UTILITY KNIFE", "HAND SAW"}},
      {3, 2, 1, "Power Tools", Kind::kEach, 3900, 24900, {"CORDLESS DRILL", "CIRCULAR SAW", "ORBITAL SANDER", "JIG SAW", "ROUTER"}},
      {4, 3, 1, "Locks & Keys", Kind::kEach, 250, 6900, {"PADLOCK", "DEADBOLT", "KEY BLANK", "DOOR KNOB", "HASP"}},
      {10, 8, 2, "Pipe & Fittings", Kind::kEach, 60, 2400, {"COPPER ELBOW", "PVC PIPE", "BALL VALVE", "COUPLING", "PIPE TEE"}},
      {11, 2, 2, "Faucets", Kind::kEach, 1900, 18900, {"KITCHEN FAUCET", "BATH FAUCET", "SHOWER HEAD", "HOSE BIBB"}},
      {12, 1, 2, "Water Heaters", Kind::kEach, 29900, 89900, {"GAS WATER HEATER", "ELEC WATER HEATER", "HEATER ELEMENT"}},
      {20, 3, 3, "Wire & Cable", Kind::kBulk, 25, 390, {"ROMEX WIRE", "SPEAKER WIRE", "COAX CABLE", "THHN WIRE"}},
      {21, 5, 3, "Lighting", Kind::kEach, 300, 12900, {"LED BULB", "CEILING FIXTURE", "WORK LIGHT", "NIGHT LIGHT"}},
      {22, 2, 3, "Batteries", Kind::kEach, 199, 2499, {"ALKALINE AA", "ALKALINE AAA", "9 VOLT", "LANTERN BATTERY"}},
      {30, 4, 4, "Interior Paint", Kind::kEach, 1299, 4599, {"FLAT LATEX", "EGGSHELL LATEX", "SEMI-GLOSS", "PRIMER"}},
      {31, 3, 4, "Exterior Paint", Kind::kEach, 1599, 5299, {"HOUSE PAINT", "DECK STAIN", "PORCH ENAMEL", "MASONRY PAINT"}},
      {32, 3, 4, "Brushes Rollers", Kind::kEach, 149, 2499, {"ANGLE BRUSH", "ROLLER COVER", "ROLLER FRAME", "PAINT TRAY"}},
      {40, 4, 5, "Seeds & Bulbs", Kind::kEach, 129, 1299, {"TOMATO SEED", "TULIP BULB", "BEAN SEED", "SQUASH SEED"}},
      {41, 3, 5, "Fertilizer", Kind::kEach, 599, 4999, {"LAWN FOOD", "ROSE FOOD", "BONE MEAL", "LIME"}},
      {42, 4, 5, "Garden Tools", Kind::kEach, 699, 5999, {"GARDEN RAKE", "SPADE", "HOE", "PRUNER", "HOSE NOZZLE"}},
      {43, 1, 5, "Grass Seed", Kind::kBulk, 199, 899, {"BLUEGRASS SEED", "FESCUE SEED", "RYE GRASS SEED"}},
      {50, 4, 6, "Cleaning", Kind::kEach, 199, 2999, {"MOP", "BROOM", "SPONGE", "GLASS CLEANER", "BUCKET"}},
      {51, 4, 6, "Kitchen", Kind::kEach, 299, 7999, {"SKILLET", "MIXING BOWL", "CAN OPENER", "DISH RACK"}},
      {52, 3, 6, "Storage", Kind::kEach, 399, 5999, {"STORAGE BIN", "SHELF BRACKET", "HOOK", "TOTE"}},
      {60, 3, 7, "Lumber", Kind::kEach, 299, 3999, {"STUD 2X4", "BOARD 1X6", "POST 4X4", "JOIST 2X8"}},
      {61, 2, 7, "Plywood", Kind::kEach, 1899, 6599, {"PLYWOOD 1/2", "PLYWOOD 3/4", "OSB 7/16", "HARDBOARD"}},
      {62, 2, 7, "Moulding", Kind::kBulk, 59, 499, {"BASE MOULDING", "CROWN MOULDING", "QUARTER ROUND"}},
      {70, 3, 8, "Holiday", Kind::kEach, 199, 8999, {"LIGHT STRING", "WREATH", "TREE STAND", "GARLAND"}},
      {71, 2, 8, "Outdoor Living", Kind::kEach, 999, 29999, {"PATIO CHAIR", "GRILL COVER", "CHARCOAL", "PLANTER"}},
      {81, 0, 9, "Rentals", Kind::kRental, 1500, 9500, {"CARPET CLEANER", "TILE SAW", "POST HOLE DIGGER", "PRESSURE WASHER", "FLOOR SANDER"}},
      {90, 2, 10, "Bulk Nails", Kind::kBulk, 149, 399, {"COMMON NAIL", "FINISH NAIL", "ROOFING NAIL", "DECK NAIL"}},
      {91, 2, 10, "Rope & Chain", Kind::kBulk, 29, 599, {"MANILA ROPE", "NYLON ROPE", "PROOF COIL CHAIN"}},
      {98, 3, 11, "Miscellaneous", Kind::kEach, 99, 1999, {"GIFT CARD HOLDER", "KEY RING", "FLASHLIGHT", "GLUE"}},
  };
  // clang-format on
  return table;
}

const std::vector<std::vector<std::string_view>>& vendors_by_department() {
  static const std::vector<std::vector<std::string_view>> table = {{"HALDEN TOOL", "GRANITE HW", "IRONWOOD"},
                                                                   {"COPPERLINE", "TIDEWATER"},
                                                                   {"KESTREL ELEC", "LUMEN WORKS"},
                                                                   {"REDFERN PNT", "BRISTLECONE"},
                                                                   {"PRAIRIE SEED", "FIELDSTONE", "WILLOW CREEK"},
                                                                   {"MAPLETON", "SILVERBIRCH"},
                                                                   {"CEDAR RIDGE", "OAKMERE SUP"},
                                                                   {"NORTHGATE", "BLUE HERON"},
                                                                   {"HALDEN TOOL"},
                                                                   {"GRANITE HW", "IRONWOOD"},
                                                                   {"NORTHGATE"}};
  return table;
}

const std::vector<std::string_view>& sizes() {
  static const std::vector<std::string_view> table = {"SMALL",  "MEDIUM", "LARGE", "1/4 IN", "3/8 IN", "1/2 IN",
                                                      "3/4 IN", "1 IN",   "2 PK",  "4 PK",   "10 PK",  "WHITE",
                                                      "BLACK",  "BRASS",  "STEEL", "GALV",   "8 FT",   "12 FT"};
  return table;
}

}  // namespace invdb::sample
