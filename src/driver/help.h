// invreport's own words about itself: the help text (--help, -h) and the
// version line (--version), each taken only as the only word of the command
// line.  Any other command line runs a report as it always has.
#pragma once

#include <string>

#include "driver/options.h"

namespace driver {

// Usage, the fifteen reports with their titles, the options, the
// selections and the exit statuses.
std::string help_text();

// "invreport 1.0.0".
std::string version_text();

// The text to print instead of running, or empty when `words` run a report.
std::string self_description(Words words);

}  // namespace driver
