// All-or-nothing changes: a writer's change through the store API (an
// import that splits nodes and grows the root, a delete of many items, a
// heading) is cut at each change it makes to the files, through the I/O
// seam.  Stopped there as by a crash, the next open leaves both files
// byte-identical to before the change, or to after it once the commit point
// (the journal's removal) has passed, and the audit's check is clean.
// Failed there (EIO, ENOSPC), the change fails with the errno and the reason
// in words and leaves the files as before.  Cut there by a power loss (the
// writes since each file's last flush dropped or torn at sectors, entries
// since the directory's last flush undone), and again at each change of the
// recovery that follows, the next open finds exactly the items and headings
// from before or after, and the next writer goes on by itself to a clean
// check.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fault_env.h"
#include "isam/audit.h"
#include "isam/store.h"
#include "isam_fixture.h"

namespace isam_test {
namespace {

using isam::Status;
using isam::Store;
using isam::StoreOptions;
using Side = isam::HeadingSide;
using Scenario = std::function<Status(Store&)>;

constexpr int kKeyLength = 22;

struct Files {
  std::string index, records;
  bool operator==(const Files&) const = default;
};

// A heading side's text: up to six lines, each cut or blank-padded to 24.
std::array<char, isam::kHeadingBytes> heading(std::initializer_list<std::string_view> lines) {
  std::array<char, isam::kHeadingBytes> text;
  text.fill(' ');
  std::size_t at = 0;
  for (const std::string_view line : lines) {
    std::copy_n(line.begin(), std::min<std::size_t>(line.size(), 24), text.begin() + static_cast<long>(at));
    at += 24;
  }
  return text;
}

std::string stock(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%07d", n);
  return text;
}

// An item's record: the key "12" + stock index, blank-padded to the key
// length, then blanks.
isam::Block item(const std::string& stock_index) {
  isam::Block block;
  block.fill(' ');
  const std::string key = "12" + stock_index;
  std::copy(key.begin(), key.end(), block.begin());
  return block;
}

// Store options that keep notices to themselves.
StoreOptions options_for(StoreOptions::Access access, isam::Env* env, int batch = 512) {
  StoreOptions options;
  options.access = access;
  options.env = env;
  options.write_batch_blocks = batch;
  options.on_notice = [](std::string_view) {};
  return options;
}

// The audit's check of both files as they stand.
isam::audit::Check check_files() {
  isam::audit::FileImage index, records;
  const StoreOptions options = options_for(StoreOptions::Access::kRead, nullptr);
  const Status a = isam::audit::load("DB", isam::format::FileKind::kIndex, options, index);
  const Status b = a ? isam::audit::load("DB", isam::format::FileKind::kRecords, options, records) : a;
  if (!b) {
    isam::audit::Check failed;
    failed.findings.push_back({isam::audit::Finding::Kind::kLength, b.message()});
    return failed;
  }
  return isam::audit::check(index, records);
}

// Opens a writer as a program goes on after a crash: marks left set by a
// program that stopped (and no journal) are cleared when the check finds
// nothing else.
Status open_writer(StoreOptions options, std::unique_ptr<Store>& store) {
  Status status = Store::open("DB", options, store);
  if (status.kind() != Status::Kind::kMarkedOpen) return status;
  const isam::audit::Check found = check_files();
  if (!found.only_open_marks())
    return Status::error(Status::Kind::kDamaged, "DB", 0, "marked open and damaged: " + found.findings[0].text);
  options.accept_open_mark = true;
  return Store::open("DB", options, store);
}

class CrashSweep : public InTempDir {
 protected:
  CrashSweep() {
    const Status created = Store::create("DB", 4000, kKeyLength);
    EXPECT_TRUE(created) << created.message();
    // 40 items and both headings: a tree of two levels.
    EXPECT_TRUE(command(nullptr, [](Store& s) {
      for (int n = 0; n < 40; ++n) {
        std::uint16_t address = 0;
        if (Status st = s.add(item(stock(1000 + 5 * n)), address); !st) return st;
      }
      const Status right = s.write_heading(Side::kRight, heading({"STORE 8"}));
      return right ? s.write_heading(Side::kLeft, heading({"BACK OFFICE"})) : right;
    }));
    base_ = snapshot();
  }

  Files snapshot() const { return {file_bytes("DB.XXX"), file_bytes("DB")}; }
  void restore(const Files& f) const {
    FaultEnv::put_file("DB.XXX", f.index);
    FaultEnv::put_file("DB", f.records);
  }

  // Runs the changes as one writer's change: open, the changes, commit (a
  // writer that fails part way is rolled back as it goes).  Small write
  // batches cut the change into many more points.
  bool command(isam::Env* env, const Scenario& changes, int batch = 8, Status* why = nullptr) {
    std::unique_ptr<Store> store;
    Status status = Store::open("DB", options_for(StoreOptions::Access::kWrite, env, batch), store);
    if (status) status = changes(*store);
    if (status) status = store->commit();
    store.reset();
    if (why) *why = status;
    return status.is_ok();
  }

  // A reader's open and close, with the notices it gives.
  Status read_once(isam::Env* env, std::vector<std::string>* notices = nullptr) {
    StoreOptions options = options_for(StoreOptions::Access::kRead, env);
    if (notices) options.on_notice = [notices](std::string_view line) { notices->emplace_back(line); };
    std::unique_ptr<Store> reader;
    const Status status = Store::open("DB", options, reader);
    return status ? reader->commit() : status;
  }

  // What the next program finds: a reader's open and close, then the check.
  void expect_sound(const Files& want, const std::string& what) {
    const bool hot = std::filesystem::exists("DB.JNL");
    std::vector<std::string> notices;
    {
      FaultEnv unarmed;  // flushes skipped: the test need not wait for the disk
      const Status read = read_once(&unarmed, &notices);
      ASSERT_TRUE(read) << what << ": " << read.message();
    }
    // A hot journal is rolled back with one line saying so.
    if (!notices.empty()) {
      EXPECT_TRUE(hot) << what;
      EXPECT_NE(notices[0].find("rolled back"), std::string::npos) << notices[0];
      ++rolled_back_;
    }
    EXPECT_FALSE(std::filesystem::exists("DB.JNL")) << what;
    EXPECT_TRUE(snapshot() == want) << what;
    const isam::audit::Check report = check_files();
    EXPECT_TRUE(report.clean()) << what << ": " << (report.findings.empty() ? "" : report.findings[0].text);
  }

  // The items and headings a reader finds (rolling a hot journal back):
  // every live key and its block.
  using Content = std::map<std::string, std::string>;
  Content content() {
    FaultEnv unarmed;
    std::unique_ptr<Store> reader;
    Status status = Store::open("DB", options_for(StoreOptions::Access::kRead, &unarmed), reader);
    if (!status) return {{"unreadable", status.message()}};
    Content found;
    isam::Cursor cursor(*reader);
    for (status = cursor.first(); status && cursor.valid(); status = cursor.next()) {
      isam::Block block;
      if (status = reader->read(cursor.entry().address, block); !status) break;
      found[cursor.entry().key] = std::string(block.begin(), block.end());
    }
    if (!status) return {{"unreadable", status.message()}};
    status = reader->commit();
    if (!status) return {{"unreadable", status.message()}};
    return found;
  }

  // After a power loss: the items and headings of before or after, and the
  // next writer goes on (clearing any mark a cut reader left) to a clean check.
  void expect_recovered(const Content& before, const Content& after, const std::string& what) {
    const Content found = content();
    EXPECT_TRUE(found == before || found == after) << what;
    {
      FaultEnv unarmed;
      std::unique_ptr<Store> writer;
      Status status = open_writer(options_for(StoreOptions::Access::kWrite, &unarmed), writer);
      if (status) status = writer->commit();
      ASSERT_TRUE(status) << what << ": " << status.message();
    }
    const isam::audit::Check report = check_files();
    EXPECT_TRUE(report.clean()) << what << ": " << (report.findings.empty() ? "" : report.findings[0].text);
    EXPECT_TRUE(content() == found) << what;
  }

  // Power cuts at change k of the command, each tear; and, every tenth
  // point that leaves a journal to roll back, cuts at each change of that
  // recovery too.
  void power_cuts(const Scenario& changes, int batch, long k, const Content& before, const Content& after) {
    using Tear = FaultEnv::Tear;
    for (const Tear tear : {Tear::kDropAll, Tear::kAllButLast, Tear::kEveryOther}) {
      const std::string what =
          "power cut (tear " + std::to_string(static_cast<int>(tear)) + ") at change " + std::to_string(k);
      restore(base_);
      {
        FaultEnv env;
        env.arm(k, FaultEnv::Fault::kStop);
        command(&env, changes, batch);
        env.cut_power(tear);
      }
      ++power_states_;
      if (k % 10 == 0 && std::filesystem::exists("DB.JNL")) {
        const Files cut = snapshot();
        const std::string journal = file_bytes("DB.JNL");
        FaultEnv counter;
        const Status read = read_once(&counter);
        EXPECT_TRUE(read) << what << ": " << read.message();
        for (long j = 1; j <= counter.changes(); ++j) {
          restore(cut);
          FaultEnv::put_file("DB.JNL", journal);
          {
            FaultEnv env;
            env.arm(j, FaultEnv::Fault::kStop);
            read_once(&env);
            env.cut_power(tear);
          }
          ++power_states_;
          expect_recovered(before, before, what + ", then at change " + std::to_string(j) + " of its recovery");
        }
        restore(cut);
        FaultEnv::put_file("DB.JNL", journal);
      }
      expect_recovered(before, after, what);
    }
  }

  // Cuts the command at change points: the first and last 20, every one
  // around the root's growth (`focus`), and evenly spread ones, at least
  // `spread` in all; stops there, then fails there with EIO and ENOSPC at
  // every third of those points.
  void sweep(const Scenario& changes, int batch, long focus_from, long focus_to, long spread = 300) {
    FaultEnv counter;
    restore(base_);
    ASSERT_TRUE(command(&counter, changes, batch));
    const Files after = snapshot();
    ASSERT_FALSE(after == base_);
    const Content after_content = content();
    restore(base_);
    const Content before_content = content();
    restore(after);
    const long total = counter.changes();
    const long commit = counter.last_unlink();
    ASSERT_GT(commit, 0);
    std::vector<long> points;
    for (long k = 1; k <= total; ++k) {
      const bool edge = k <= 20 || k > total - 20;
      const bool focus = k >= focus_from * total / 100 && k <= focus_to * total / 100;
      if (edge || focus || k % std::max(1L, total / spread) == 0) points.push_back(k);
    }
    RecordProperty("points", static_cast<int>(points.size()));
    EXPECT_GE(points.size(), std::min<std::size_t>(static_cast<std::size_t>(total), 300));
    for (std::size_t i = 0; i < points.size(); ++i) {
      const long k = points[i];
      restore(base_);
      FaultEnv env;
      env.arm(k, FaultEnv::Fault::kStop);
      command(&env, changes, batch);
      ASSERT_TRUE(env.fired());
      expect_sound(k > commit ? after : base_,
                   "stopped at change " + std::to_string(k) + " of " + std::to_string(total));
      power_cuts(changes, batch, k, before_content, after_content);
      if (i % 3 != 0) continue;
      for (int error : {EIO, ENOSPC}) {
        restore(base_);
        env.arm(k, FaultEnv::Fault::kFail, error);
        Status why;
        const bool ok = command(&env, changes, batch, &why);
        const std::string what = "failed (" + std::to_string(error) + ") at change " + std::to_string(k);
        // Only a change past the commit point (making the journal's removal
        // durable) may fail without failing the command.
        EXPECT_EQ(ok, k > commit) << what;
        // Typed, and in words: the errno and the reason; no routine tags.
        if (!ok) {
          const std::string words = why.message();
          EXPECT_EQ(why.system_errno(), error) << what << ": " << words;
          EXPECT_NE(words.find(error == ENOSPC ? "the disk is full" : "the device failed"), std::string::npos)
              << what << ": " << words;
          EXPECT_EQ(words.find("(c"), std::string::npos) << what << ": " << words;
        }
        EXPECT_TRUE(snapshot() == (ok ? after : base_)) << what;
        EXPECT_FALSE(std::filesystem::exists("DB.JNL")) << what;
      }
      if (HasFailure()) return;
    }
    EXPECT_GT(rolled_back_, 0);
    RecordProperty("power_states", power_states_);
  }

  Files base_;
  int rolled_back_ = 0;   // reopens that rolled a hot journal back
  int power_states_ = 0;  // states left by a power cut, recoveries' included
};

TEST_F(CrashSweep, ImportThatSplitsAndGrowsTheRoot) {
  // Updates 20 items in place and adds 160, which splits leaves and the
  // internal nodes and grows the root twice.
  sweep(
      [](Store& s) {
        for (int n = 0; n < 200; ++n) {
          isam::Block block = item(stock(1000 + 3 * n));
          isam::Entry existing;
          Status status = s.find("12" + stock(1000 + 3 * n), existing);
          if (status) {
            if (status = s.read(existing.address, block); !status) return status;
            block[60] ^= 0x5A;
            status = s.write(existing.address, block);
          } else if (status.kind() == Status::Kind::kNotFound) {
            std::uint16_t address = 0;
            status = s.add(block, address);
          }
          if (!status) return status;
        }
        return Status::ok();
      },
      1, 30, 45);
}

TEST_F(CrashSweep, DeleteOfManyItems) {
  sweep(
      [](Store& s) {
        std::vector<std::string> items;
        isam::Cursor cursor(s);
        Status status = cursor.seek("12");
        for (; status && cursor.valid(); status = cursor.next()) items.push_back(cursor.entry().key);
        for (std::size_t i = 0; status && i < items.size(); i += 2) status = s.remove(items[i]);
        return status;
      },
      2, 40, 60, 100);
}

TEST_F(CrashSweep, Heading) {
  sweep(
      [](Store& s) {
        const Status right = s.write_heading(Side::kRight, heading({"STORE 9", "MAIN ST"}));
        return right ? s.write_heading(Side::kLeft, heading({"NEW", "HEADING"})) : right;
      },
      1, 0, 100, 100);
}

}  // namespace
}  // namespace isam_test
