// A sample store: a deterministic, realistic inventory for trying the
// reports, built through the library's writer side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report_common/control_records.h"
#include "report_common/item_record.h"

namespace invdb {

struct SampleStore {
  std::vector<report::ItemArea> items;         // in the order they are added
  std::vector<report::ItemArea> discontinued;  // added, then deleted again
  report::control::HeadingText left_heading, right_heading;
  std::string category_names;  // the StoreSales.csv text
};

// The same count and seed always give the same store.
SampleStore make_sample(int items, std::uint64_t seed);

}  // namespace invdb
