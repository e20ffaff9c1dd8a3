#include "invdb/check.h"

namespace invdb {

CheckReport check_database(const files::FileImage& index, const files::FileImage& records) {
  const isam::audit::Check check = isam::audit::check(index, records, "12");
  CheckReport report;
  for (const isam::audit::Finding& f : check.findings) report.findings.push_back(f.text);
  report.kinds.reserve(check.findings.size());
  for (const isam::audit::Finding& f : check.findings) report.kinds.push_back(f.kind);
  report.levels = check.levels;
  report.nodes = check.nodes;
  report.live_keys = check.live_keys;
  report.items = check.counted;
  report.deleted = check.deleted;
  report.blocks_in_use = check.blocks_in_use;
  return report;
}

}  // namespace invdb
