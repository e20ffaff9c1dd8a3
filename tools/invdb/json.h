// `check --json` and `stat --json`: one JSON object each, for scripts.
//
//   check: {"clean": true, "findings": ["..."], "items": 0, "other_keys": 0,
//           "deleted": 0, "levels": 0, "nodes": 0, "blocks_in_use": 0}
//   stat:  {"index": {"file", "key_length", "entries_per_node", "map_blocks",
//           "open", "damaged", "items", "other_keys", "deleted",
//           "levels": [{"nodes", "entries", "fill_percent"}], "nodes_in_use",
//           "nodes_free"},
//           "records": {"file", "map_blocks", "open", "damaged",
//           "blocks_in_use", "blocks_free"}}
// Text is escaped so that any bytes give valid JSON: a byte above 127 is
// written as the code point of the same number.
#pragma once

#include <string>
#include <string_view>

#include "invdb/check.h"
#include "invdb/stat_dump.h"

namespace invdb {

// `text` as a quoted JSON string.
std::string json_string(std::string_view text);

std::string check_json(const CheckReport& report);
std::string stat_json(const StatReport& report);

}  // namespace invdb
