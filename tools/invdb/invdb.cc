#include "invdb/invdb.h"

#include <charconv>
#include <cstring>

#include "invdb/commands.h"

namespace invdb {

int cmd_clear_mark(const Args& args, const Io& io);  // clear_mark.cc

namespace {

constexpr const char* kHelp =
    "usage: invdb COMMAND NAME [ARGUMENTS]\n"
    "\n"
    "A database NAME is the index file NAME.XXX and the record file NAME (no\n"
    "extension); NAME is 1 to 8 characters that the report program keeps in a name\n"
    "(letters, digits and , - : ; < = > ? @ [ \\ ] ^ _ `) and may follow a directory\n"
    "(demo/STOCK).\n"
    "\n"
    "  create NAME [--capacity N]   create both files, empty, never over existing ones;\n"
    "                               N (1 to 32767, default 32767) is the addresses the\n"
    "                               maps cover, in whole map blocks of 2048 less the\n"
    "                               header and maps: 1 to 2047 give room for 2046\n"
    "                               records, the default 32751; create and stat say it\n"
    "  import NAME FILE.csv [--restore]\n"
    "                               add or update one item per row; the header row\n"
    "                               names the columns (the item fields, see export);\n"
    "                               text is UTF-8, characters U+0000-U+00FF, one byte\n"
    "                               each in the record; the whole file is checked before\n"
    "                               anything is written: one row per item, no control\n"
    "                               characters, no comma or quote where the CSV reports\n"
    "                               print a field, no blank inside a key; --restore\n"
    "                               takes back exactly what export wrote, all of it;\n"
    "                               \"-\" reads standard input\n"
    "  export NAME [FILE.csv]       every item in key order, every column, to FILE.csv\n"
    "                               or (without it, or \"-\") standard output; names\n"
    "                               on stderr the items that only --restore takes back;\n"
    "                               never writes over the database's own files\n"
    "  heading NAME [--left L1 ...] [--right R1 ...]\n"
    "                               set the page-header texts (up to 6 lines of 24)\n"
    "  delete NAME STOCKINDEX...    delete the items with these stock indexes; when one\n"
    "                               names no item, says which and deletes nothing\n"
    "  check NAME                   verify both files; exit 0 only when clean\n"
    "  clear-mark NAME              clear the open marks a program left set, when the\n"
    "                               files check clean otherwise\n"
    "  stat NAME                    keys, tree depth, nodes per level, fill, space\n"
    "  dump NAME                    every index node in the node dump format\n"
    "  sample NAME [--items N] [--seed S] [--force]\n"
    "                               create a sample store of N items (default 2000)\n"
    "                               and the category names file StoreSales.csv beside it;\n"
    "                               an existing StoreSales.csv is kept (and nothing\n"
    "                               created) unless --force\n"
    "\n"
    "Each command that changes a database is all-or-nothing (a journal, NAME.JNL,\n"
    "puts it back if the command fails or is cut short) and holds the database\n"
    "alone; readers share it.  A command waits up to 5 seconds for another\n"
    "program using the database, then stops: \"in use by another program\".\n"
    "\n"
    "Exit status: 0 success, 1 failure (also an index that cannot be read to its\n"
    "end), 2 bad command line.\n";

struct Command {
  std::string_view name;
  int (*handler)(const Args&, const Io&);
};

constexpr Command kCommands[] = {
    {"create", cmd_create}, {"import", cmd_import},         {"export", cmd_export}, {"heading", cmd_heading},
    {"delete", cmd_delete}, {"check", cmd_check},           {"stat", cmd_stat},     {"dump", cmd_dump},
    {"sample", cmd_sample}, {"clear-mark", cmd_clear_mark},
};

}  // namespace

int Io::fail(const std::string& message) const {
  std::fprintf(err, "invdb: %s\n", message.c_str());
  return 1;
}

int Io::usage(std::string_view line) const {
  std::fprintf(err, "usage: invdb %.*s\n(invdb --help lists every command)\n", static_cast<int>(line.size()),
               line.data());
  return 2;
}

bool parse_number_option(std::string_view name, std::string_view value, long lo, long hi, long& out, const Io& io) {
  long v = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size() || v < lo || v > hi) {
    io.fail(std::string(name) + " wants a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
            ", not \"" + std::string(value) + "\"");
    return false;
  }
  out = v;
  return true;
}

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  const Io io{out, err};
  if (argc < 2) {
    std::fputs(kHelp, err);
    return 2;
  }
  const std::string_view name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    std::fputs(kHelp, out);
    return 0;
  }
  Args args(argv + 2, argv + argc);
  for (std::string_view a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, out);
      return 0;
    }
  }
  for (const Command& c : kCommands)
    if (c.name == name) {
      const int status = c.handler(args, io);
      const bool written = std::fflush(out) == 0 && !std::ferror(out);
      if (!written && status == 0) return io.fail(std::string("cannot write the output: ") + std::strerror(errno));
      return status;
    }
  io.fail("unknown command \"" + std::string(name) + "\"");
  return 2;
}

}  // namespace invdb
