// All-or-nothing changes: a command of the tool's database wrapper (an
// import that splits nodes and grows the root, a delete of many items, a
// heading) is cut at each change it makes to the files, through the I/O
// seam.  Stopped there as by a crash, the next open leaves both files
// byte-identical to before the command, or to after it once the commit point
// (the journal's removal) has passed, and the check is clean.  Failed there
// (EIO, ENOSPC), the command fails and leaves the files as before, and says
// so in words.  Cut there by a power loss (the writes since each file's last
// flush dropped or torn at sectors, entries since the directory's last flush
// undone), and again at each change of the recovery that follows, the next
// open finds exactly the items and headings from before or after, and the
// next writer goes on by itself to a clean check.
#include <chrono>
#include <cstdio>
#include <functional>

#include "fault_env.h"
#include "invdb/check.h"
#include "invdb/database.h"
#include "invdb/test_helpers.h"
#include "isam_fixture.h"

namespace isam_test {
namespace {

using invdb::Database;
using Side = report::control::Heading;
using Scenario = std::function<bool(Database&, std::string&)>;

struct Files {
  std::string index, records;
  bool operator==(const Files&) const = default;
};

report::control::HeadingText heading(std::initializer_list<std::string_view> lines) {
  const std::vector<std::string_view> v(lines);
  return report::control::heading_text(v);
}

std::string stock(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%07d", n);
  return text;
}

class CrashSweep : public InTempDir {
 protected:
  CrashSweep() : quiet_(std::fopen("/dev/null", "w"), std::fclose) {
    std::string error;
    db_ = *invdb::parse_db_path("DB", error);
    EXPECT_TRUE(invdb::create_database(db_, 4000, error)) << error;
    // 40 items and both headings: a tree of two levels.
    EXPECT_TRUE(command(nullptr, [](Database& d, std::string& e) {
      for (int n = 0; n < 40; ++n)
        if (!d.add_record(test_support::make_item(stock(1000 + 5 * n)), e)) return false;
      return d.write_heading(Side::kRight, heading({"STORE 8"}), e) &&
             d.write_heading(Side::kLeft, heading({"BACK OFFICE"}), e);
    }));
    base_ = snapshot();
  }

  Files snapshot() const { return {file_bytes("DB.XXX"), file_bytes("DB")}; }
  void restore(const Files& f) const {
    FaultEnv::put_file("DB.XXX", f.index);
    FaultEnv::put_file("DB", f.records);
  }

  // Runs the changes as one command: open, the changes, close.  Small
  // write batches cut the command into many more points.
  bool command(isam::Env* env, const Scenario& changes, int batch = 8, std::string* why = nullptr) {
    std::string ignored;
    std::string& error = why ? *why : ignored;
    isam::LibraryOptions options;
    options.env = env;
    options.notices = quiet_.get();
    options.write_batch_blocks = batch;
    Database d(Database::Access::kWrite, options);
    return d.open(db_, error) && changes(d, error) && d.close(error);
  }

  // What the next program finds: a reader's open and close, then the check.
  void expect_sound(const Files& want, const std::string& what) {
    std::string error;
    const bool hot = std::filesystem::exists("DB.JNL");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> notices(std::tmpfile(), std::fclose);
    {
      FaultEnv unarmed;  // flushes skipped: the test need not wait for the disk
      isam::LibraryOptions options;
      options.notices = notices.get();
      options.env = &unarmed;
      Database reader(Database::Access::kRead, options);
      ASSERT_TRUE(reader.open(db_, error) && reader.close(error)) << what << ": " << error;
    }
    // A hot journal is rolled back with one line saying so.
    std::rewind(notices.get());
    char line[256] = {};
    const bool told = std::fgets(line, sizeof line, notices.get()) != nullptr;
    if (told) {
      EXPECT_TRUE(hot) << what;
      EXPECT_NE(std::string(line).find("rolled back"), std::string::npos) << line;
      ++rolled_back_;
    }
    EXPECT_FALSE(std::filesystem::exists("DB.JNL")) << what;
    EXPECT_TRUE(snapshot() == want) << what;
    invdb::files::FileImage index, records;
    ASSERT_TRUE(invdb::files::load_file("DB.XXX", "DB.XXX", index, error));
    ASSERT_TRUE(invdb::files::load_file("DB", "DB", records, error));
    const invdb::CheckReport report = invdb::check_database(index, records);
    EXPECT_TRUE(report.clean()) << what << ": " << (report.findings.empty() ? "" : report.findings[0]);
  }

  // The items and headings a reader finds (rolling a hot journal back).
  using Content = std::map<std::string, std::string>;
  Content content() {
    std::string error;
    FaultEnv unarmed;
    isam::LibraryOptions options;
    options.notices = quiet_.get();
    options.env = &unarmed;
    Database reader(Database::Access::kRead, options);
    if (!reader.open(db_, error) || !reader.close(error)) return {{"unreadable", error}};
    return invdb_test::live_blocks(".", "DB");
  }

  // After a power loss: the items and headings of before or after, and the
  // next writer goes on (clearing any mark a cut reader left) to a clean check.
  void expect_recovered(const Content& before, const Content& after, const std::string& what) {
    const Content found = content();
    EXPECT_TRUE(found == before || found == after) << what;
    std::string error;
    FaultEnv unarmed;
    isam::LibraryOptions options;
    options.notices = quiet_.get();
    options.env = &unarmed;
    {
      Database writer(Database::Access::kWrite, options);
      ASSERT_TRUE(writer.open(db_, error) && writer.close(error)) << what << ": " << error;
    }
    invdb::files::FileImage index, records;
    ASSERT_TRUE(invdb::files::load_file("DB.XXX", "DB.XXX", index, error));
    ASSERT_TRUE(invdb::files::load_file("DB", "DB", records, error));
    const invdb::CheckReport report = invdb::check_database(index, records);
    EXPECT_TRUE(report.clean()) << what << ": " << (report.findings.empty() ? "" : report.findings[0]);
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
        {
          isam::LibraryOptions options;
          options.notices = quiet_.get();
          options.env = &counter;
          std::string error;
          Database reader(Database::Access::kRead, options);
          EXPECT_TRUE(reader.open(db_, error) && reader.close(error)) << what << ": " << error;
        }
        for (long j = 1; j <= counter.changes(); ++j) {
          restore(cut);
          FaultEnv::put_file("DB.JNL", journal);
          {
            FaultEnv env;
            env.arm(j, FaultEnv::Fault::kStop);
            isam::LibraryOptions options;
            options.notices = quiet_.get();
            options.env = &env;
            std::string error;
            Database reader(Database::Access::kRead, options);
            if (reader.open(db_, error)) reader.close(error);
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
        std::string why;
        const bool ok = command(&env, changes, batch, &why);
        const std::string what = "failed (" + std::to_string(error) + ") at change " + std::to_string(k);
        // Only a change past the commit point (making the journal's removal
        // durable) may fail without failing the command.
        EXPECT_EQ(ok, k > commit) << what;
        // In words: the reason, and what became of the database; no routine tags.
        if (!ok) {
          EXPECT_NE(why.find(error == ENOSPC ? "the disk is full" : "the device failed"), std::string::npos) << why;
          EXPECT_NE(why.find("nothing was changed"), std::string::npos) << what << ": " << why;
          EXPECT_EQ(why.find("(c"), std::string::npos) << what << ": " << why;
        }
        EXPECT_TRUE(snapshot() == (ok ? after : base_)) << what;
        EXPECT_FALSE(std::filesystem::exists("DB.JNL")) << what;
      }
      if (HasFailure()) return;
    }
    EXPECT_GT(rolled_back_, 0);
    RecordProperty("power_states", power_states_);
  }

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> quiet_;
  invdb::DbPath db_;
  Files base_;
  int rolled_back_ = 0;   // reopens that rolled a hot journal back
  int power_states_ = 0;  // states left by a power cut, recoveries' included
};

TEST_F(CrashSweep, ImportThatSplitsAndGrowsTheRoot) {
  // Updates 20 items in place and adds 160, which splits leaves and the
  // internal nodes and grows the root twice.
  sweep(
      [](Database& d, std::string& e) {
        for (int n = 0; n < 200; ++n) {
          const std::string key = "12" + stock(1000 + 3 * n);
          isam::Block block = test_support::make_item(stock(1000 + 3 * n));
          if (auto existing = d.find(key)) {
            if (!d.read_block(existing->address, block, e)) return false;
            block[60] ^= 0x5A;
            if (!d.write_block(existing->address, block, e)) return false;
          } else if (!d.add_record(block, e)) {
            return false;
          }
        }
        return true;
      },
      1, 30, 45);
}

TEST_F(CrashSweep, DeleteOfManyItems) {
  sweep(
      [](Database& d, std::string& e) {
        std::vector<invdb::KeyEntry> items;
        d.walk_from("12", [&](const invdb::KeyEntry& k) { return items.push_back(k), true; });
        for (std::size_t i = 0; i < items.size(); i += 2)
          if (!d.delete_record(items[i], e)) return false;
        return true;
      },
      2, 40, 60, 100);
}

TEST_F(CrashSweep, Heading) {
  sweep(
      [](Database& d, std::string& e) {
        return d.write_heading(Side::kRight, heading({"STORE 9", "MAIN ST"}), e) &&
               d.write_heading(Side::kLeft, heading({"NEW", "HEADING"}), e);
      },
      1, 0, 100, 100);
}

}  // namespace
}  // namespace isam_test
