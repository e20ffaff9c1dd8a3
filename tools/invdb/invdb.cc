// The command line of the tool.  CLI11 reads it ("--opt value" and
// "--opt=value", per-command help, range and name checks); each command's
// handler then gets its arguments in one canonical order: NAME and the other
// positional words first, then each option given, as "--opt" and its values.
// Every command line the tool cannot use exits with status 2 and a message
// that points to "invdb help".
#include "invdb/invdb.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <deque>
#include <list>

#include "invdb/commands.h"
#include "invdb/database.h"
#include "invdb/headings.h"
#include "report_common/latin1.h"
#include "report_common/stop_signal.h"

#ifndef INV_VERSION
#define INV_VERSION "unknown"
#endif

namespace invdb {

int cmd_clear_mark(const Args& args, const Io& io);  // clear_mark.cc
int cmd_show(const Args& args, const Io& io);        // show.cc

namespace {

constexpr const char* kHelp =
    "usage: invdb COMMAND NAME [ARGUMENTS]\n"
    "       invdb help [COMMAND] | invdb COMMAND --help | invdb --version\n"
    "\n"
    "A database NAME is the index file NAME.XXX and the record file NAME (no\n"
    "extension); NAME is 1 to 8 characters that the report program keeps in a name\n"
    "(letters, digits and , - : ; < = > ? @ [ \\ ] ^ _ `) and may follow a directory\n"
    "(demo/STOCK).\n"
    "An option's value follows it as the next word or after \"=\" (--items=500).\n"
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
    "                               print a field, no key starting below the blank;\n"
    "                               rows named \"(left heading 1)\" ... set the page\n"
    "                               headings; --restore takes back exactly what export\n"
    "                               wrote, all of it; \"-\" reads standard input;\n"
    "                               every bad row is named (the first 50); header\n"
    "                               names match in any case\n"
    "       [--dry-run [--json]] [--decimal-money] [--ignore-unknown]\n"
    "                               --dry-run: check everything, print the items it\n"
    "                               would add, update (old -> new) or leave, change\n"
    "                               nothing; --decimal-money: Price, UntCost and the\n"
    "                               amounts in currency units (4.99) instead of\n"
    "                               thousandths (4990) and hundredths; --ignore-unknown:\n"
    "                               skip columns that name no item field\n"
    "  export NAME [FILE.csv] [--verbose]\n"
    "                               the page headings and every item in key order,\n"
    "                               every column, to FILE.csv (written whole or not at\n"
    "                               all) or (without it, or \"-\") standard output;\n"
    "                               names on stderr up to 10 items that only --restore\n"
    "                               takes back (--verbose: all); never writes over the\n"
    "                               database's own files\n"
    "  heading NAME [--left L1 ...] [--right R1 ...]\n"
    "                               set the page-header texts (up to 6 lines of 24\n"
    "                               characters, the text rules of import); alone, or\n"
    "                               with --json, shows both\n"
    "  delete NAME [--] STOCKINDEX...\n"
    "                               delete the items with these stock indexes; when one\n"
    "                               names no item, says which and deletes nothing; a\n"
    "                               stock index that begins with \"-\" goes after \"--\"\n"
    "  show NAME [--] STOCKINDEX... [--json]\n"
    "                               every field of the items with these stock indexes,\n"
    "                               one a line with its name, as export writes them\n"
    "  check NAME [--json]          verify both files; exit 0 only when clean\n"
    "  clear-mark NAME              clear the open marks a program left set, when the\n"
    "                               files check clean otherwise\n"
    "  stat NAME [--json]           keys, tree depth, nodes per level, fill, space\n"
    "  dump NAME                    every index node in the node dump format\n"
    "  sample NAME [--items N] [--seed S] [--force]\n"
    "                               create a sample store of N items (default 2000)\n"
    "                               and the category names file StoreSales.csv beside it;\n"
    "                               an existing StoreSales.csv is kept (and nothing\n"
    "                               created) unless --force; an existing store is\n"
    "                               never replaced, --force or not\n"
    "\n"
    "--json prints one JSON object (check: the findings as a list).\n"
    "--wait SECONDS (every command, default 5, 0 for none): how long to wait, all\n"
    "told, for another program using the database; after a second it says so.\n"
    "\n"
    "Each command that changes a database is all-or-nothing (a journal, NAME.JNL,\n"
    "puts it back if the command fails or is cut short) and holds the database\n"
    "alone; readers share it.  A command waits up to 5 seconds (--wait) for\n"
    "another program using the database, then stops: \"in use by another program\".\n"
    "A command that changes a database and finds it marked open by a program that\n"
    "stopped without closing it checks it, and clears the marks when they are all\n"
    "the check finds.  SIGINT, SIGTERM and SIGHUP stop a command at its next safe\n"
    "point: the database is closed unchanged, or a change already committed is kept,\n"
    "and one line says which.\n"
    "\n"
    "Exit status: 0 success, 1 failure (also an index that cannot be read to its\n"
    "end), 2 a command line it cannot use, 3 (check) clean apart from the open\n"
    "marks, 128+n stopped by signal n (130 SIGINT, 143 SIGTERM, 129 SIGHUP).\n";

using Handler = int (*)(const Args&, const Io&);

// One command: CLI11's view of its command line, and how the values read
// become the handler's arguments.
struct Command {
  Handler handler = nullptr;
  CLI::App* app = nullptr;
  // Deques: CLI11 keeps the address of each value it fills in.
  std::deque<std::string> positional;  // NAME first
  std::vector<CLI::Option*> positional_handles;
  std::vector<std::string> more;  // the trailing list of positional words (delete)
  // Options in the order they are passed on: name, then values once given.
  std::deque<std::pair<std::string, std::vector<std::string>>> options;
  std::vector<CLI::Option*> option_handles;

  Args arguments(std::vector<std::string>& storage) const {
    storage.clear();
    for (std::size_t i = 0; i < positional.size(); ++i)
      if (positional_handles[i]->count() > 0) storage.push_back(positional[i]);
    storage.insert(storage.end(), more.begin(), more.end());
    for (std::size_t i = 0; i < options.size(); ++i) {
      if (option_handles[i]->count() == 0) continue;
      storage.push_back(options[i].first);
      storage.insert(storage.end(), options[i].second.begin(), options[i].second.end());
    }
    // A command that allows extras hands the words CLI11 does not know to its
    // handler, which judges them.
    if (app->get_allow_extras())
      for (std::string& extra : app->remaining()) storage.push_back(std::move(extra));
    return Args(storage.begin(), storage.end());
  }
};

// A whole number from lo to hi, as the handlers read it.
CLI::Validator whole_number(long lo, long hi) {
  return CLI::Validator(
      [lo, hi](std::string& value) -> std::string {
        long v = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
        if (!value.empty() && ec == std::errc() && end == value.data() + value.size() && v >= lo && v <= hi) return {};
        return "wants a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not \"" + value +
               "\"";
      },
      "");
}

// A heading line under the text rules of an import.
const CLI::Validator kHeadingLine(
    [](std::string& value) -> std::string {
      std::string bytes;
      const std::string problem = headings::line_problem(value, bytes);
      if (problem.empty()) return {};
      std::string shown;
      for (const char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
          shown += "\\x" + std::string(1, "0123456789ABCDEF"[(c >> 4) & 15]) + "0123456789ABCDEF"[c & 15];
        else
          shown += c;
      return "\"" + shown + "\": " + problem;
    },
    "");

// A command line with the mark "--" moved before the command's first
// positional word.  After the mark every word is positional, even one that
// begins with "-" (a stock index "-5001"); CLI11 takes the mark only while a
// positional still waits for its first value, so "delete S 5 -- -5" would
// otherwise refuse the "-5".
std::vector<const char*> mark_before_positionals(int argc, const char* const* argv) {
  std::vector<const char*> words(argv, argv + argc);
  const auto mark = std::find(words.begin() + std::min(2, argc), words.end(), std::string_view("--"));
  if (mark == words.end()) return words;
  std::vector<const char*> out(words.begin(), words.begin() + 2);
  for (auto w = words.begin() + 2; w != mark; ++w)
    if (**w == '-') out.push_back(*w);
  out.push_back("--");
  for (auto w = words.begin() + 2; w != mark; ++w)
    if (**w != '-') out.push_back(*w);
  out.insert(out.end(), mark + 1, words.end());
  return out;
}

// What to say after a usage error about words that begin with "-" and are
// none of the command's options.
std::string dash_hint(std::string_view command, int argc, const char* const* argv) {
  bool dashed = false;
  for (int i = 2; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    const std::string_view w = argv[i];
    dashed |= w.size() > 1 && w.front() == '-' && w != "-h" && w != "--help" && w != "--left" && w != "--right" &&
              w != "--json" && !w.starts_with("--left=") && !w.starts_with("--right=");
  }
  if (!dashed) return "";
  if (command == "show") return "; a stock index that begins with \"-\" goes after \"--\": invdb show NAME -- -5001";
  if (command == "delete")
    return "; a stock index that begins with \"-\" goes after \"--\": invdb delete NAME -- -5001";
  if (command == "heading") return "; a heading line that begins with \"-\" follows an equals sign: --left=-SALE-";
  return "";
}

const CLI::Validator kDatabaseName(
    [](std::string& value) -> std::string {
      std::string error;
      return parse_db_path(value, error) ? std::string() : error;
    },
    "");

// At most `width` characters, at least one when `nonempty`.
CLI::Validator text_up_to(std::size_t width, bool nonempty, std::string what) {
  return CLI::Validator(
      [=](std::string& value) -> std::string {
        // Characters, as the record keeps them: one byte each.
        std::string bytes, problem;
        const std::size_t length = report::latin1::from_utf8(value, bytes, problem) ? bytes.size() : value.size();
        if (length <= width && !(nonempty && value.empty())) return {};
        return "\"" + value + "\" is " +
               (value.empty() ? "empty" : "longer than " + std::to_string(width) + " characters") + ": not " + what;
      },
      "");
}

// The commands and their command lines.  The handlers keep their own checks;
// the ones here make every unusable command line a usage error.
class CommandLine {
 public:
  CommandLine() : app_("create, load, export, check and describe inventory databases", "invdb") {
    app_.set_help_flag("-h,--help", "this help");
    app_.set_version_flag("--version", std::string("invdb ") + INV_VERSION);
    app_.require_subcommand(0, 1);

    Command& create =
        add("create", "create both files, empty; never overwrites; says the room for records they hold", cmd_create);
    number_option(create, "--capacity",
                  "addresses the maps cover (default 32767): whole map blocks of 2048 less the header and maps", 1,
                  32767);

    Command& import = add("import", "add or update one item per row of FILE.csv (\"-\": standard input)", cmd_import);
    positional(import, "FILE", "the CSV file")->required();
    flag(import, "--restore", "take back exactly what export wrote, all of it");
    flag(import, "--dry-run", "check everything and print what would change; change nothing");
    flag(import, "--json", "with --dry-run: one JSON object");
    flag(import, "--decimal-money", "money columns in currency units (4.99), not thousandths or hundredths");
    flag(import, "--ignore-unknown", "skip columns that name no item field");
    import.app->allow_extras();

    Command& exp =
        add("export", "every item, every column, to FILE.csv or standard output; never over the database", cmd_export);
    positional(exp, "FILE", "the CSV file (default, or \"-\": standard output)");
    flag(exp, "--verbose", "name every item that only import --restore takes back, not the first 10");

    Command& heading = add("heading", "set the page-header texts, or show them", cmd_heading);
    heading_ = &heading;
    for (const char* side : {"--left", "--right"}) {
      auto& [name, lines] = heading.options.emplace_back(side, std::vector<std::string>{});
      CLI::Option* o = heading.app->add_option(name, lines, std::string(side + 2) + " heading: up to 6 lines");
      o->expected(0, CLI::detail::expected_max_vector_size)->type_name("LINE")->check(kHeadingLine);
      heading.option_handles.push_back(o);
    }
    flag(heading, "--json", "show both headings as one JSON object");

    Command& del = add("delete", "delete the items with these stock indexes; all of them or none", cmd_delete);
    del.app
        ->add_option("STOCKINDEX", del.more,
                     "stock indexes, 1 to 12 characters each; one that begins with \"-\" after \"--\"")
        ->required()
        ->type_name("")
        ->check(text_up_to(12, true, "a stock index"));

    Command& show = add("show", "every field of the items with these stock indexes, one a line", cmd_show);
    show.app
        ->add_option("STOCKINDEX", show.more,
                     "stock indexes, 1 to 12 characters each; one that begins with \"-\" after \"--\"")
        ->required()
        ->type_name("");
    flag(show, "--json", "one JSON array instead of text");

    flag(add("check", "verify both files; exit status 0 only when clean", cmd_check), "--json",
         "one JSON object instead of text");
    flag(add("stat", "keys, tree depth, nodes per level, fill, space", cmd_stat), "--json",
         "one JSON object instead of text");
    add("dump", "every index node in the node dump format", cmd_dump);
    add("clear-mark", "clear the open marks a program left set, when the files check clean otherwise", cmd_clear_mark);

    Command& sample = add("sample", "a sample store and StoreSales.csv beside it", cmd_sample);
    number_option(sample, "--items", "items (default 2000)", 1, 32000);
    number_option(sample, "--seed", "seed of the generator (default 1)", 0, 2147483647);
    flag(sample, "--force", "replace an existing StoreSales.csv (never an existing store)");
    sample.app->allow_extras();

    help_ = app_.add_subcommand("help", "the list of commands, or the usage of one");
    help_->add_option("COMMAND", help_topic_, "a command");
  }

  // The --wait of the command line, in milliseconds (the default when not given).
  int wait_ms() const {
    long seconds = files::kLockWaitMs / 1000;
    if (!wait_seconds_.empty())
      std::from_chars(wait_seconds_.data(), wait_seconds_.data() + wait_seconds_.size(), seconds);
    return static_cast<int>(seconds * 1000);
  }

  int run(int argc, const char* const* argv, const Io& io) {
    if (argc < 2) {
      std::fputs(kHelp, io.err);
      return 2;
    }
    const std::string_view first = argv[1];
    if (!first.starts_with('-') && !find(first)) {
      return io.usage_error("unknown command \"" + std::string(first) + "\"", "");
    }
    const std::vector<const char*> words = (first == "delete" || first == "show")
                                               ? mark_before_positionals(argc, argv)
                                               : std::vector<const char*>(argv, argv + argc);
    try {
      app_.parse(static_cast<int>(words.size()), words.data());
    } catch (const CLI::CallForHelp&) {
      const CLI::App* chosen = selected();
      std::fputs(chosen ? chosen->help("invdb").c_str() : kHelp, io.out);
      return 0;
    } catch (const CLI::CallForVersion& e) {
      std::fprintf(io.out, "%s\n", e.what());
      return 0;
    } catch (const CLI::ParseError& e) {
      const CLI::App* chosen = selected();
      const std::string command = chosen ? chosen->get_name() : "";
      return io.usage_error(e.what() + dash_hint(command, argc, argv), command);
    }
    if (help_->parsed()) return help(io);
    const CLI::App* chosen = selected();
    if (!chosen) {
      std::fputs(kHelp, io.err);
      return 2;
    }
    for (const Command& c : commands_)
      if (c.app == chosen) {
        if (&c == heading_)
          for (const auto& [name, lines] : c.options)
            if (lines.size() > 6) return io.usage_error(name + ": a heading has at most 6 lines", "heading");
        std::vector<std::string> storage;
        const Args args = c.arguments(storage);
        files::Session session(wait_ms(), io.err);
        if (!args.empty()) session.shown = std::string(args.front());
        Io with_session = io;
        with_session.session = &session;
        const int status = c.handler(args, with_session);
        // The command's output is out (or its write cut short) before a stop
        // is looked at for the last time.
        std::fflush(io.out);
        if (report::stop::requested() == 0 || status >= 128) return status;
        // A stop that came while the command ran: it says so once.
        return session.told_stop ? report::stop::exit_status(report::stop::requested()) : with_session.stopped();
      }
    return 2;
  }

 private:
  Command& add(const char* name, const char* description, Handler handler) {
    Command& c = commands_.emplace_back();
    c.handler = handler;
    c.app = app_.add_subcommand(name, description);
    positional(c, "NAME", "the database (NAME.XXX and NAME)")->required()->check(kDatabaseName);
    // Every command may wait for another program; the value is the
    // session's, not the handler's.
    c.app->add_option("--wait", wait_seconds_, "seconds to wait for another program using the database (default 5)")
        ->type_name("SECONDS")
        ->check(whole_number(0, 3600));
    return c;
  }

  CLI::Option* positional(Command& c, const char* name, const char* what) {
    CLI::Option* o = c.app->add_option(name, c.positional.emplace_back(), what)->type_name("");
    c.positional_handles.push_back(o);
    return o;
  }

  void number_option(Command& c, const char* name, const char* what, long lo, long hi) {
    auto& [option, values] = c.options.emplace_back(name, std::vector<std::string>(1));
    c.option_handles.push_back(c.app->add_option(option, values[0], what)->type_name("N")->check(whole_number(lo, hi)));
  }

  void flag(Command& c, const char* name, const char* what) {
    c.options.emplace_back(name, std::vector<std::string>{});
    const std::string description = what;
    c.option_handles.push_back(c.app->add_flag(name, description));
  }

  // The command of that name ("help" included), or nullptr.
  const CLI::App* find(std::string_view name) const {
    for (const CLI::App* a : app_.get_subcommands([](const CLI::App*) { return true; }))
      if (a->get_name() == name) return a;
    return nullptr;
  }

  const CLI::App* selected() const {
    const auto chosen = app_.get_subcommands();
    return chosen.empty() ? nullptr : chosen.front();
  }

  int help(const Io& io) const {
    const CLI::App* topic = find(help_topic_);
    if (help_topic_.empty() || topic == help_) {
      std::fputs(kHelp, io.out);
      return 0;
    }
    if (!topic) return io.usage_error("unknown command \"" + help_topic_ + "\"", "");
    std::fputs(topic->help("invdb").c_str(), io.out);
    return 0;
  }

  CLI::App app_;
  std::list<Command> commands_;  // stable addresses: CLI11 writes into them
  const Command* heading_ = nullptr;
  std::string wait_seconds_;
  CLI::App* help_ = nullptr;
  std::string help_topic_;
};

}  // namespace

int Io::stopped() const {
  const int signal = report::stop::requested();
  const std::string shown = session ? session->shown : std::string("the database");
  if (session) session->told_stop = true;
  std::fprintf(
      err, "invdb: interrupted: %s\n",
      (session && session->changed ? "the change to " + shown + " was kept" : shown + " is unchanged").c_str());
  return report::stop::exit_status(signal != 0 ? signal : SIGINT);
}

int Io::fail(const std::string& message) const {
  if (message.empty() && report::stop::requested() != 0) return stopped();
  std::fprintf(err, "invdb: %s\n", message.c_str());
  return 1;
}

int Io::usage(std::string_view line) const {
  const std::string_view command = line.substr(0, line.find(' '));
  std::fprintf(err, "usage: invdb %.*s\n(invdb help %.*s shows more)\n", static_cast<int>(line.size()), line.data(),
               static_cast<int>(command.size()), command.data());
  return 2;
}

int Io::usage_error(const std::string& message, std::string_view command) const {
  if (command.empty())
    std::fprintf(err, "invdb: %s\n(invdb help lists every command)\n", message.c_str());
  else
    std::fprintf(err, "invdb: %s\n(invdb help %.*s shows its usage)\n", message.c_str(),
                 static_cast<int>(command.size()), command.data());
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
  CommandLine command_line;
  const int status = command_line.run(argc, argv, io);
  const bool written = std::fflush(out) == 0 && !std::ferror(out);
  if (!written && status == 0) return io.fail(std::string("cannot write the output: ") + std::strerror(errno));
  return status;
}

}  // namespace invdb
