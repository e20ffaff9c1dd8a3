// A command of the tool's database wrapper whose write fails (EIO, ENOSPC)
// at any change it makes to the files says so in words -- the reason, and
// that nothing was changed, without the library's routine tags -- and leaves
// both files as before; only a failure past the commit point (the journal's
// removal) lets the command succeed.  The library's own all-or-nothing sweep
// (tests/isam/crash_test.cc) covers crashes and power loss; this one covers
// what the tool tells the user.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "../isam/fault_env.h"
#include "support/test_support.h"

namespace {

using invdb::Database;
using isam_test::FaultEnv;

TEST(FailedWrite, EveryFailedChangeSaysWhyAndThatNothingWasChanged) {
  test_support::TempDir dir;
  std::string error;
  const invdb::DbPath db = *invdb::parse_db_path((dir / "DB").string(), error);
  ASSERT_TRUE(invdb::create_database(db, 4000, error)) << error;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> quiet(std::fopen("/dev/null", "w"), std::fclose);
  // An import of 40 items (splitting the first leaf) and a heading, in small
  // write batches so that the change has many points.
  const auto command = [&](isam::Env* env, std::string& why) {
    isam::LibraryOptions options;
    options.env = env;
    options.notices = quiet.get();
    options.write_batch_blocks = 2;
    Database d(Database::Access::kWrite, options);
    if (!d.open(db, why)) return false;
    for (int n = 0; n < 40; ++n) {
      char stock[16];
      std::snprintf(stock, sizeof stock, "%07d", 1000 + 7 * n);
      if (!d.add_record(test_support::make_item(stock), why)) return false;
    }
    report::control::HeadingText text;
    text.fill(' ');
    return d.write_heading(report::control::Heading::kLeft, text, why) && d.close(why);
  };
  const auto files = [&] {
    return std::pair{test_support::read_file(db.index_file()), test_support::read_file(db.record_file())};
  };
  const auto restore = [&](const std::pair<std::string, std::string>& f) {
    FaultEnv::put_file(db.index_file(), f.first);
    FaultEnv::put_file(db.record_file(), f.second);
  };
  const auto before = files();
  FaultEnv counter;
  ASSERT_TRUE(command(&counter, error)) << error;
  const long total = counter.changes(), commit = counter.last_unlink();
  ASSERT_GT(commit, 0);
  ::testing::Test::RecordProperty("points", static_cast<int>(total));
  const auto after = files();
  for (long k = 1; k <= total; ++k) {
    for (const int fault : {EIO, ENOSPC}) {
      const std::string what =
          "failed (" + std::to_string(fault) + ") at change " + std::to_string(k) + " of " + std::to_string(total);
      restore(before);
      FaultEnv env;
      env.arm(k, FaultEnv::Fault::kFail, fault);
      std::string why;
      const bool ok = command(&env, why);
      EXPECT_EQ(ok, k > commit) << what;
      if (!ok) {
        EXPECT_NE(why.find(fault == ENOSPC ? "the disk is full" : "the device failed"), std::string::npos) << why;
        EXPECT_NE(why.find("nothing was changed"), std::string::npos) << what << ": " << why;
        EXPECT_EQ(why.find("(c"), std::string::npos) << what << ": " << why;
      }
      EXPECT_TRUE(files() == (ok ? after : before)) << what;
      EXPECT_FALSE(std::filesystem::exists(dir / "DB.JNL")) << what;
    }
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace
