#include "driver/help.h"

#include <cstdio>

#include "reports/catalogue.h"

#ifndef INV_VERSION
#define INV_VERSION "unknown"
#endif

namespace driver {

namespace {

constexpr std::string_view kUsage =
    "Usage: invreport -RPT NN -F NAME [-DT MMDDYY] [--dept N] [--cat N] [--vendor ID]\n"
    "                 [--from INDEX] [--to INDEX]\n"
    "       invreport --help | -h | --version\n"
    "\n"
    "Writes one report over the inventory database NAME (the index NAME.XXX and the\n"
    "record file NAME, in the current directory) to OUTF21.DAT, or KOROt15.csv for\n"
    "report 15, in the current directory.  The database is only read.\n"
    "\n"
    "Reports (-RPT):\n";

constexpr std::string_view kOptions =
    "\n"
    "Options (names exact, case included; a value never begins with \"-\"; when an\n"
    "option is given twice the first counts):\n"
    "  -RPT NN      the report, exactly two characters: 07, not 7\n"
    "  -F NAME      the database, at most 8 characters, no directory: run invreport\n"
    "               in the database's directory; without -F the name is asked for\n"
    "  -DT MMDDYY   the run date in the page headers, six characters; without it,\n"
    "               or with another length, today's date\n"
    "\n"
    "Selections (optional; given together, an item must meet each; each once):\n"
    "  --dept N     only the items of department N\n"
    "  --cat N      only the items of category N\n"
    "  --vendor ID  only the items of the vendor identifier ID (case counts)\n"
    "  --from INDEX only the items from stock index INDEX on, and\n"
    "  --to INDEX   up to stock index INDEX, through the index (either alone too)\n"
    "A selected run writes exactly what the report writes over a database that\n"
    "holds only the selected items.\n"
    "\n"
    "Exit status:\n"
    "  0  the report was written\n"
    "  1  the index or record file could not be opened, an item could not be read\n"
    "     (it is skipped), a report file or standard output could not be written\n"
    "  2  a command line it cannot use (\" Syntax error\" on standard output)\n"
    "Every failure also prints one line beginning \"invreport: \" on standard error.\n"
    "\n"
    "See also: man invreport, invdb --help, invrender --help.\n";

}  // namespace

std::string help_text() {
  std::string text(kUsage);
  for (const report::CatalogueEntry& e : report::kCatalogue) {
    char line[160];
    std::snprintf(line, sizeof line, "  %02d  %-29s %s\n", e.number, report::display_title(e).c_str(),
                  std::string(e.name).c_str());
    text += line;
  }
  text += kOptions;
  return text;
}

std::string version_text() { return std::string("invreport ") + INV_VERSION + "\n"; }

std::string self_description(Words words) {
  if (words.size() != 1) return {};
  if (words[0] == "--help" || words[0] == "-h") return help_text();
  if (words[0] == "--version") return version_text();
  return {};
}

}  // namespace driver
