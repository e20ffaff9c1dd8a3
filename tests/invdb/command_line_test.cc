// invdb's command line as a process: the exit status of each kind of command
// line, and the --json outputs read back by a JSON parser.
// GCC 12 at -O1 with the sanitizers warns of "maybe uninitialized" members
// inside std::regex's own inlined constructors (the standard library's
// code, not this file's): a false positive, silenced for this file.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::run_invdb;
using test_support::TempDir;

TEST(InvdbCommandLine, ExitStatusOfEveryKindOfCommandLine) {
  TempDir dir;
  ASSERT_EQ(run_invdb({"create", "DB", "--capacity=500"}, dir.path()).exit_code, 0);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // a part of standard error
  };
  const Case cases[] = {
      {{}, 2, "usage: invdb"},
      {{"frobnicate", "DB"}, 2, "unknown command"},
      {{"--bogus"}, 2, "--bogus"},
      {{"--version"}, 0, ""},
      {{"help"}, 0, ""},
      {{"help", "sample"}, 0, ""},
      {{"stat", "--help"}, 0, ""},
      {{"help", "frobnicate"}, 2, "unknown command"},
      {{"create"}, 2, "NAME is required"},
      {{"create", "D2", "--capacity", "0"}, 2, "1 to 32767"},
      {{"create", "D2", "--capacity=x"}, 2, "not \"x\""},
      {{"create", "NINECHARS"}, 2, "1 to 8 characters"},
      {{"create", "D2", "--bogus"}, 2, "--bogus"},
      {{"create", "D2", "extra"}, 2, "extra"},
      {{"sample", "D2", "--items=0"}, 2, "1 to 32000"},
      {{"sample", "D2", "--bogus"}, 2, "sample"},
      {{"import", "DB"}, 2, "FILE is required"},
      {{"delete", "DB"}, 2, "STOCKINDEX is required"},
      {{"delete", "DB", "1234567890123"}, 2, "not a stock index"},
      {{"heading", "DB", "--json", "--left", "X"}, 2, "heading"},
      {{"heading", "DB", "--left", "1", "2", "3", "4", "5", "6", "7"}, 2, "at most 6 lines"},
      {{"heading", "DB", "--right", std::string(25, 'X')}, 2, "longer than 24"},
      {{"check", "DB", "--json", "x"}, 2, "x"},
      {{"create", "DB"}, 1, "already exists"},
      {{"stat", "NONE"}, 1, "NONE.XXX"},
      {{"check", "NONE", "--json"}, 1, "NONE.XXX"},
      {{"check", "DB", "--json"}, 0, ""},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    const auto r = run_invdb(c.args, dir.path());
    EXPECT_EQ(r.exit_code, c.status) << line << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << line << "\n" << r.err;
    // Every unusable command line points to the help.
    if (c.status == 2) { EXPECT_NE(r.err.find("invdb help"), std::string::npos) << line << "\n" << r.err; }
    if (c.status != 1) { EXPECT_EQ(r.err.empty(), c.err.empty()) << line << "\n" << r.err; }
  }
  // "invdb N.N.N": three numbers between points (std::regex warns in the
  // sanitizer build).
  const std::string version = run_invdb({"--version"}, dir.path()).out;
  std::string shape;
  for (const char c : version) shape += (c >= '0' && c <= '9') ? (shape.ends_with('9') ? "" : "9") : std::string(1, c);
  EXPECT_EQ(shape, "invdb 9.9.9\n") << version;
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(dir.path())) files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"DB", "DB.XXX"})) << "a refused command line creates nothing";
}

// Runs a Python expression over the JSON text; returns what it prints.
std::string from_json(const std::string& json, const std::string& expression) {
  const auto r = test_support::run_process(
      "/usr/bin/env", {"python3", "-c", "import json, sys\nd = json.load(sys.stdin)\nprint(" + expression + ")"},
      fs::temp_directory_path(), json);
  EXPECT_EQ(r.exit_code, 0) << json << r.err;
  return r.out;
}

TEST(InvdbCommandLine, JsonOutputsParseAndAgree) {
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "python3 is needed to read the JSON back";
  TempDir dir;
  ASSERT_EQ(run_invdb({"sample", "DB", "--items=300", "--seed", "3"}, dir.path()).exit_code, 0);
  auto r = run_invdb({"stat", "DB", "--json"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // The levels hold every node in use; the blocks hold the items and the two
  // heading records.
  EXPECT_EQ(from_json(r.out,
                      "d['index']['items'], d['index']['other_keys'], d['index']['open'], d['records']['damaged'], "
                      "sum(l['nodes'] for l in d['index']['levels']) == d['index']['nodes_in_use'], "
                      "d['records']['blocks_in_use']"),
            "300 2 False False True 302\n");
  r = run_invdb({"check", "DB", "--json"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(from_json(r.out, "d['clean'], d['findings'], d['items'], d['other_keys']"), "True [] 300 2\n");

  // show and import --dry-run: Latin-1 text comes out as its characters.
  test_support::write_file(dir / "e.csv", "StockIndex,LongName\n900,CAF\xC3\x89\n");
  ASSERT_EQ(run_invdb({"import", "DB", "e.csv"}, dir.path()).exit_code, 0);
  r = run_invdb({"show", "DB", "900", "--json"}, dir.path());
  EXPECT_EQ(from_json(r.out, "len(d), d[0]['LongName'] == 'CAF\\u00c9', d[0]['Price']"), "1 True 0\n") << r.out;
  test_support::write_file(dir / "e.csv", "StockIndex,LongName\n900,CR\xC3\x88ME\n");
  r = run_invdb({"import", "DB", "e.csv", "--dry-run", "--json"}, dir.path());
  EXPECT_EQ(from_json(r.out,
                      "d['updated'], d['updated_items'][0]['changes'] == [{'column': 'LongName', 'old': "
                      "'CAF\\u00c9', 'new': 'CR\\u00c8ME'}]"),
            "1 True\n")
      << r.out;
  test_support::write_file(dir / "e.csv", "StockIndex,Price\n900,4.99\n901,x\n");
  r = run_invdb({"import", "DB", "e.csv", "--dry-run", "--json"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(
      from_json(r.out, "d['problem_count'], d['problems'][0].startswith('line 2, column 2 (Price): Price is in')"),
      "2 True\n")
      << r.out;

  // A name with a backslash (JSON escapes it), and its open mark left set:
  // the finding names the file, backslash and all.
  ASSERT_EQ(run_invdb({"create", "Q\\1", "--capacity", "100"}, dir.path()).exit_code, 0);
  {
    std::fstream index(dir / "Q\\1.XXX", std::ios::in | std::ios::out | std::ios::binary);
    index.seekp(8);
    index.put(1);
  }
  r = run_invdb({"check", "Q\\1", "--json"}, dir.path());
  EXPECT_EQ(r.exit_code, 3);  // clean apart from the open mark
  EXPECT_EQ(from_json(r.out, "d['clean'], len(d['findings']), d['findings'][0].startswith('Q\\\\1.XXX')"),
            "False 1 True\n")
      << r.out;
}

}  // namespace
