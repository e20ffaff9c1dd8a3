// Stops, kills, waits and read-only stores, tried on the programs as
// processes: each test checks the exit status, the message, and the files
// (byte for byte where nothing may change).
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "invdb/test_helpers.h"
#include "isam/env.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using invdb_test::both_files;
using test_support::read_file;
using test_support::run_invdb;
using test_support::run_invreport;
using test_support::TempDir;
using test_support::write_file;
using Clock = std::chrono::steady_clock;

// A program started with its standard output into a pipe that the test
// reads only when it chooses: once the pipe is full the program blocks on
// its next write, part way through its work, with the database open.
class Child {
 public:
  Child(const std::string& binary, const std::vector<std::string>& args, const fs::path& cwd, bool prefill = false) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
    if (prefill) {  // a pipe already full: the first write blocks
      ::fcntl(out[1], F_SETFL, O_NONBLOCK);
      const std::string chunk(4096, 'x');
      while (::write(out[1], chunk.data(), chunk.size()) > 0) {}
      ::fcntl(out[1], F_SETFL, 0);
    }
    err_path_ = cwd / "child.err";
    fs::remove(err_path_);  // not the last child's words
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      const int err = ::open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(err, 2);
      ::close(out[0]);
      ::close(out[1]);
      if (::chdir(cwd.c_str()) != 0) ::_exit(126);
      std::vector<char*> argv{const_cast<char*>(binary.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(binary.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
  }
  ~Child() {
    if (pid_ > 0 && !done_) finish();
  }
  void signal(int n) const { ::kill(pid_, n); }
  // Drains the pipe, waits for the program; its exit status (128 + n after
  // signal n).
  int finish() {
    char buffer[65536];
    while (::read(out_, buffer, sizeof buffer) > 0) {}
    ::close(out_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    done_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  std::string err() const { return read_file(err_path_); }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool done_ = false;
  fs::path err_path_;
};

bool marked(const fs::path& file) {
  const std::string bytes = read_file(file);
  return bytes.size() > 9 && (bytes[8] != 0 || bytes[9] != 0);
}

// Waits (at most 10 s) until `ready` holds, then a little longer, so that
// the program is blocked where the test means it to be.
bool await(const std::function<bool()>& ready) {
  for (const auto give_up = Clock::now() + std::chrono::seconds(10); Clock::now() < give_up;) {
    if (ready()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A store big enough that an export or a report's console lines fill a pipe.
class Stopped : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    store_ = new TempDir;
    const auto r = run_invdb({"sample", "S", "--items", "6000"}, store_->path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  static void TearDownTestSuite() { delete store_; }
  void SetUp() override {
    for (const char* f : {"S", "S.XXX", "StoreSales.csv"}) fs::copy_file(*store_ / f, dir_ / f);
    write_file(dir_ / "OUTF21.DAT", "the old report\r\n");
    before_ = both_files(dir_.path(), "S");
  }
  static TempDir* store_;
  TempDir dir_;
  std::string before_;
};
TempDir* Stopped::store_ = nullptr;

// A reader stopped by a signal part way through closes the database (both
// marks cleared: the files as before), keeps the old report file, says so
// in one line and exits with 128 + the signal.
TEST_F(Stopped, ReadersCloseTheDatabase) {
  struct Case {
    const char* binary;
    std::vector<std::string> args;
    int signal;
    const char* message;
  };
  const std::vector<Case> cases = {
      {INVREPORT_BIN, {"-RPT", "01", "-F", "S"}, SIGINT, "invreport: interrupted (SIGINT): S is unchanged and closed"},
      {INVREPORT_BIN, {"-RPT", "01", "-F", "S"}, SIGTERM, "invreport: interrupted (SIGTERM): S is unchanged"},
      {INVREPORT_BIN, {"-RPT", "01", "-F", "S"}, SIGHUP, "invreport: interrupted (SIGHUP): S is unchanged"},
      {INVDB_BIN, {"export", "S"}, SIGINT, "invdb: interrupted: S is unchanged\n"},
      {INVDB_BIN, {"export", "S", "-"}, SIGTERM, "invdb: interrupted: S is unchanged\n"},
      {INVDB_BIN, {"export", "S"}, SIGHUP, "invdb: interrupted: S is unchanged\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.binary) + " " + c.args[0] + " signal " + std::to_string(c.signal));
    Child child(c.binary, c.args, dir_.path(), true);
    ASSERT_TRUE(await([&] { return marked(dir_ / "S") && marked(dir_ / "S.XXX"); }));
    child.signal(c.signal);
    EXPECT_EQ(child.finish(), 128 + c.signal);
    EXPECT_NE(child.err().find(c.message), std::string::npos) << child.err();
    EXPECT_EQ(both_files(dir_.path(), "S"), before_) << "open marks left set";
    EXPECT_EQ(read_file(dir_ / "OUTF21.DAT"), "the old report\r\n");
  }
  // A pipe closed early ("| head -1"): SIGPIPE stops the report the same way.
  const auto r = test_support::run_process(
      "/bin/bash", {"-c", std::string(INVREPORT_BIN) + " -RPT 03 -F S | head -1 >/dev/null; exit ${PIPESTATUS[0]}"},
      dir_.path());
  EXPECT_EQ(r.exit_code, 128 + SIGPIPE);
  EXPECT_NE(r.err.find("invreport: interrupted (SIGPIPE): S is unchanged"), std::string::npos) << r.err;
  EXPECT_EQ(both_files(dir_.path(), "S"), before_);
  // Not stopped, the same run writes its report and exits 0.
  EXPECT_EQ(run_invreport({"-RPT", "01", "-F", "S"}, dir_.path()).exit_code, 0);
  EXPECT_GT(read_file(dir_ / "OUTF21.DAT").size(), 100000u);
}

// A reader killed outright leaves its marks: check says the files are clean
// apart from them (exit status 3), and the next writer clears them by itself.
TEST_F(Stopped, AKilledReadersMarksAreClearedByTheNextWriter) {
  {
    Child child(INVDB_BIN, {"export", "S"}, dir_.path(), true);
    ASSERT_TRUE(await([&] { return marked(dir_ / "S") && marked(dir_ / "S.XXX"); }));
    child.signal(SIGKILL);
    EXPECT_EQ(child.finish(), 128 + SIGKILL);
  }
  auto r = run_invdb({"check", "S"}, dir_.path());
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_NE(r.out.find("clean apart from the open marks: 6000 items"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"invdb clear-mark S\" clears the marks"), std::string::npos) << r.out;
  const std::string marked_files = both_files(dir_.path(), "S");
  r = run_invreport({"-RPT", "09", "-F", "S"}, dir_.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;  // a reader reads it as it stands
  EXPECT_EQ(both_files(dir_.path(), "S"), marked_files);
  write_file(dir_ / "a.csv", "StockIndex,QOH\nNEW1,5\n");
  r = run_invdb({"import", "S", "a.csv"}, dir_.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err,
            "invdb: S was marked open by a program that stopped without closing it; the files check clean "
            "otherwise, so the marks were cleared\n");
  r = run_invdb({"check", "S"}, dir_.path());
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("clean: 6001 items"), std::string::npos) << r.out;
}

// Ctrl-C during an import: before the commit the change is rolled back,
// after it the change is kept; either way the command says which.
TEST_F(Stopped, AnInterruptedImportSaysWhatBecameOfTheStore) {
  write_file(dir_ / "a.csv", "StockIndex,QOH\nNEW1,5\nNEW2,6\n");
  {
    // Held by another program, the import waits; interrupted meanwhile, it
    // stops.
    const int fd = ::open((dir_ / "S.XXX").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(isam::Env::system().lock(fd, isam::Env::kExclusive), 0);
    Child child(INVDB_BIN, {"import", "S", "a.csv", "--wait", "20"}, dir_.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    child.signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(fd);
    EXPECT_EQ(child.finish(), 130);
    EXPECT_NE(child.err().find("invdb: interrupted: S is unchanged\n"), std::string::npos) << child.err();
    EXPECT_EQ(both_files(dir_.path(), "S"), before_);
    EXPECT_FALSE(fs::exists(dir_ / "S.JNL"));
  }
  {
    // Stopped after its commit, while it writes its closing line.
    Child child(INVDB_BIN, {"import", "S", "a.csv"}, dir_.path(), true);
    ASSERT_TRUE(await([&] { return both_files(dir_.path(), "S") != before_ && !marked(dir_ / "S"); }));
    child.signal(SIGTERM);
    EXPECT_EQ(child.finish(), 143);
    EXPECT_NE(child.err().find("invdb: interrupted: the change to S was kept\n"), std::string::npos) << child.err();
    const auto r = run_invdb({"check", "S"}, dir_.path());
    EXPECT_NE(r.out.find("clean: 6002 items"), std::string::npos) << r.out;
  }
}

// Every command waits the same time, all told, for a store another program
// holds, and says so once after a second; --wait 0 does not wait.
TEST_F(Stopped, WaitingIsSaidAndTheSameEverywhere) {
  write_file(dir_ / "a.csv", "StockIndex,QOH\nNEW1,5\n");
  const int fd = ::open((dir_ / "S.XXX").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(isam::Env::system().lock(fd, isam::Env::kExclusive), 0);
  const std::vector<std::vector<std::string>> commands = {{"import", "S", "a.csv"},
                                                          {"delete", "S", "NEW1"},
                                                          {"heading", "S", "--left", "X"},
                                                          {"export", "S"},
                                                          {"check", "S"},
                                                          {"stat", "S"},
                                                          {"dump", "S"},
                                                          {"clear-mark", "S"}};
  for (const auto& command : commands) {
    for (const char* wait : {"0", "2"}) {
      SCOPED_TRACE(command[0] + " --wait " + wait);
      std::vector<std::string> args = command;
      args.insert(args.end(), {"--wait", wait});
      const auto start = Clock::now();
      const auto r = run_invdb(args, dir_.path());
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      EXPECT_EQ(r.exit_code, 1);
      EXPECT_NE(r.err.find("in use by another program"), std::string::npos) << r.err;
      const std::string said = "invdb: waiting for another program using S\n";
      EXPECT_EQ(r.err.find(said) != std::string::npos, std::string(wait) == "2") << r.err;
      EXPECT_EQ(r.err.find(said), r.err.rfind(said)) << "said more than once: " << r.err;
      EXPECT_LT(seconds, std::string(wait) == "2" ? 4.5 : 1.5);  // one wait, not one per lock
      EXPECT_GT(seconds, std::string(wait) == "2" ? 1.9 : 0.0);
    }
  }
  // Stopped while they wait, they stop at once and say so in one line.
  std::vector<std::pair<std::string, std::vector<std::string>>> stopped;
  for (auto command : commands) {
    command.insert(command.end(), {"--wait", "20"});
    stopped.emplace_back(INVDB_BIN, command);
  }
  stopped.emplace_back(INVREPORT_BIN, std::vector<std::string>{"-RPT", "09", "-F", "S"});
  for (const auto& [binary, args] : stopped) {
    SCOPED_TRACE(args[0]);
    const bool report = binary == INVREPORT_BIN;
    const std::string said = std::string(report ? "invreport" : "invdb") + ": waiting for another program using S\n";
    Child child(binary, args, dir_.path());
    EXPECT_TRUE(await([&] { return child.err().find(said) != std::string::npos; }));
    const auto start = Clock::now();
    child.signal(SIGINT);
    EXPECT_EQ(child.finish(), 130);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.5);
    EXPECT_EQ(child.err(), said + (report ? "invreport: interrupted (SIGINT): S is unchanged\n"
                                          : "invdb: interrupted: S is unchanged\n"));
  }
  EXPECT_EQ(both_files(dir_.path(), "S"), before_);
  // Let go once they say they wait: the import and a report go on.
  const struct {
    const char* binary;
    std::vector<std::string> args;
    const char* file;
    std::string said;
  } waiters[] = {{INVDB_BIN, {"import", "S", "a.csv"}, "S.XXX", "invdb: waiting for another program using S\n"},
                 {INVREPORT_BIN, {"-RPT", "09", "-F", "S"}, "S", "invreport: waiting for another program using S\n"}};
  ::close(fd);
  for (const auto& w : waiters) {
    SCOPED_TRACE(w.args[0]);
    const int held = ::open((dir_ / w.file).c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(isam::Env::system().lock(held, isam::Env::kExclusive), 0);
    Child child(w.binary, w.args, dir_.path());
    EXPECT_TRUE(await([&] { return child.err().find(w.said) != std::string::npos; }));
    ::close(held);
    EXPECT_EQ(child.finish(), 0) << child.err();
    EXPECT_EQ(child.err(), w.said);
  }
}

// A store whose files the user may read but not write is read by the report
// program and the reading commands, without an open mark; the commands that
// change it refuse in words.  Also for a store in a directory the user
// cannot write.  (Run as another user when the tests run as the superuser,
// whom permissions do not bind.)
TEST_F(Stopped, AReadOnlyStoreIsReadAndWritersRefuse) {
  auto as_user = [&](const char* binary, std::vector<std::string> args, const fs::path& cwd) {
    if (::geteuid() != 0) return test_support::run_process(binary, args, cwd);
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", binary});
    return test_support::run_process("/usr/bin/setpriv", args, cwd);
  };
  fs::create_directory(dir_ / "ro");
  for (const char* f : {"S", "S.XXX", "StoreSales.csv"}) fs::rename(dir_ / f, dir_ / "ro" / f);
  for (const char* f : {"S", "S.XXX"}) fs::permissions(dir_ / "ro" / f, fs::perms(0444));
  fs::permissions(dir_.path(), fs::perms(0777));
  fs::permissions(dir_ / "ro", fs::perms(0777));
  write_file(dir_ / "a.csv", "StockIndex,QOH\nNEW1,5\n");
  const std::string notice = "S.XXX: cannot be opened for writing (permission denied); it is read as it stands";
  for (const bool writable_dir : {true, false}) {
    SCOPED_TRACE(writable_dir ? "files read-only" : "directory read-only too");
    fs::permissions(dir_ / "ro", fs::perms(writable_dir ? 0777 : 0555));
    if (writable_dir) {  // the report file goes where the program runs
      auto r = as_user(INVREPORT_BIN, {"-RPT", "09", "-F", "S"}, dir_ / "ro");
      EXPECT_EQ(r.exit_code, 0) << r.err;
      EXPECT_NE(r.err.find(notice), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("cannot be opened for writing"), r.err.rfind("cannot be opened for writing"))
          << "one notice: " << r.err;
    }
    auto r = as_user(INVDB_BIN, {"export", "ro/S", "-"}, dir_.path());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("StockIndex"), std::string::npos);
    EXPECT_NE(r.err.find(notice), std::string::npos) << r.err;
    EXPECT_EQ(as_user(INVDB_BIN, {"check", "ro/S"}, dir_.path()).exit_code, 0);
    for (const auto& writer : std::vector<std::vector<std::string>>{
             {"import", "ro/S", "a.csv"}, {"delete", "ro/S", "NEW1"}, {"heading", "ro/S", "--left", "X"}}) {
      r = as_user(INVDB_BIN, writer, dir_.path());
      EXPECT_EQ(r.exit_code, 1) << writer[0];
      EXPECT_NE(r.err.find(writable_dir ? "ro/S.XXX: cannot open: permission denied: it can be read but not "
                                          "written, and this command changes it; nothing was changed"
                                        : "ro/S: cannot change the database: its directory"),
                std::string::npos)
          << r.err;
    }
  }
  fs::permissions(dir_ / "ro", fs::perms(0755));
  const std::string after = read_file(dir_ / "ro/S.XXX") + "|" + read_file(dir_ / "ro/S");
  EXPECT_EQ(after, before_) << "no mark set, nothing changed";
}

}  // namespace
