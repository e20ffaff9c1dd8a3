// Failure statuses and error-hook messages of the call interface.
#include <filesystem>
#include <functional>

#include "isam_fixture.h"

namespace isam_test {
namespace {

using isam::make_name_field;

class Interface : public InTempDir {
 protected:
  Interface() {
    lib.set_error_hook([this](std::string_view tag, std::string_view message) {
      reports.push_back(std::string(tag) + "|" + std::string(message));
    });
  }
  // The one report since the last call, or "" for none.
  std::string last() {
    std::string out = reports.size() == 1 ? reports[0] : (reports.empty() ? "" : "several");
    reports.clear();
    return out;
  }

  isam::Library lib;
  std::vector<std::string> reports;
  std::int16_t status = -1;
};

TEST_F(Interface, OperationsOnClosedHandlesFail) {
  isam::Fcb fcb{};
  fcb[0] = 1;
  std::array<std::uint8_t, 22> key = numbered_key(1);
  isam::Block block{};
  // Each call on a handle that names nothing: its failed result (a status,
  // a true/false result or an address) and the one message it reports.
  struct Case {
    const char* message;
    std::function<int()> call;
    int result;
  };
  auto status_of = [&](auto&& call) {
    std::int16_t s = -1;
    call(s);
    return static_cast<int>(s);
  };
  auto answer_of = [&](auto&& call) {
    bool b = true;
    call(b);
    return b ? 1 : 0;
  };
  const std::vector<Case> cases = {
      {"cfind|not open",
       [&] {
         std::uint16_t address = 77;
         std::uint8_t type = 0;
         return answer_of([&](bool& b) { lib.cfind(1, isam::kFindPosition, key, address, type, b); });
       },
       0},
      {"caddk|not open", [&] { return status_of([&](std::int16_t& s) { lib.caddk(2, key, 5, 0, s); }); }, 1},
      {"cmdky|file not open", [&] { return answer_of([&](bool& b) { lib.cmdky(3, key, 5, 0, b); }); }, 0},
      {"cclfx|not open", [&] { return status_of([&](std::int16_t& s) { lib.cclfx(1, s); }); }, 1},
      {"cclfx|not open", [&] { return status_of([&](std::int16_t& s) { lib.cclfx(0, s); }); }, 1},
      {"crdbk|no fcb match ", [&] { return status_of([&](std::int16_t& s) { lib.crdbk(fcb, 5, block, s); }); }, 1},
      {"cwrbk|no fcb match   ", [&] { return status_of([&](std::int16_t& s) { lib.cwrbk(fcb, 5, block, s); }); }, 1},
      {"cwtbk|no fcb match  ", [&] { return status_of([&](std::int16_t& s) { lib.cwtbk(fcb, 5, block, s); }); }, 1},
      {"cgetr|error in finddp",
       [&] {
         std::uint16_t address = 77;
         std::uint8_t flag = 5;
         lib.cgetr(fcb, address, flag);
         return flag == 5 ? address : -1;  // the flag is left alone
       },
       0},
      {"cgivr|record not assigned", [&] { return lib.cgivr(fcb, 5), 0; }, 0},
      {"csmap|record not assigned", [&] { return lib.csmap(fcb, 5, 1), 0; }, 0},
      {"cckrc|not open", [&] { return answer_of([&](bool& b) { lib.cckrc(fcb, 5, b); }); }, 0},
      {"cclfd|not open", [&] { return status_of([&](std::int16_t& s) { lib.cclfd(fcb, s); }); }, 1},
      // An fcb never filled: cclfd does nothing at all.
      {"", [&] { return status_of([&](std::int16_t& s) { lib.cclfd(isam::Fcb{}, s); }); }, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), c.result) << c.message;
    EXPECT_EQ(last(), c.message);
  }
  EXPECT_EQ(key, numbered_key(1));  // a failed find leaves the key area alone
}

TEST_F(Interface, OpenAndCreateFailures) {
  lib.copfx(1, make_name_field("NONE", "XXX"), status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "copfx|error in opfile");
  isam::Fcb fcb{};
  lib.copfd(make_name_field("NONE", ""), fcb, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "copfd|error in opfild");
  EXPECT_EQ(fcb[0], 1);  // filled even though the open failed
  EXPECT_EQ(std::string(fcb.begin() + 1, fcb.end()), "NONE       ");

  lib.ccrfx(make_name_field("AB", "XXX"), 22, 10, status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(std::filesystem::exists("AB.XXX"));
  lib.ccrfx(make_name_field("AB", "XXX"), 22, 10, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "ccrfx|error in crfile");
  lib.ccrfx(make_name_field("CD", "XXX"), 40, 10, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "ccrfx|error in crfile");
  lib.ccrfd(make_name_field("AB", ""), 10, status);
  EXPECT_EQ(status, 0);
  lib.ccrfd(make_name_field("AB", ""), 10, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "");  // no message for this one

  // A slot in use is refused and the open index stays usable.
  lib.copfx(1, make_name_field("AB", "XXX"), status);
  EXPECT_EQ(status, 0);
  lib.copfx(1, make_name_field("AB", "XXX"), status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "copfx|table overflow ");
  lib.copfx(4, make_name_field("AB", "XXX"), status);
  EXPECT_EQ(status, 1);
  std::array<std::uint8_t, 22> key{};
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = false;
  lib.cfind(1, isam::kFindPosition, key, address, type, found);
  EXPECT_TRUE(found);
  lib.cclfx(1, status);
  EXPECT_EQ(status, 0);
  lib.cclfx(1, status);
  EXPECT_EQ(status, 1);
  reports.clear();
}

TEST_F(Interface, FcbTableHoldsFiveFiles) {
  std::array<isam::Fcb, 6> fcbs{};
  for (int i = 0; i < 6; ++i) {
    std::string name = "F" + std::to_string(i);
    lib.ccrfd(make_name_field(name, ""), 0, status);
    lib.copfd(make_name_field(name, ""), fcbs[i], status);
    EXPECT_EQ(status, i < 5 ? 0 : 1) << i;
  }
  EXPECT_EQ(last(), "copfd|table overflow ");
  EXPECT_EQ(fcbs[5][0], 1);
  EXPECT_EQ(fcbs[5][1], 'F');
  EXPECT_EQ(fcbs[5][2], '5');
  // Files are told apart by name; closing frees an entry for the sixth.
  std::uint16_t address = 0;
  std::uint8_t flag = 1;
  lib.cgetr(fcbs[3], address, flag);
  EXPECT_EQ(address, 5);
  lib.cclfd(fcbs[3], status);
  EXPECT_EQ(status, 0);
  lib.copfd(make_name_field("F5", ""), fcbs[5], status);
  EXPECT_EQ(status, 0);
  // Lookups compare the name bytes only; the close compares all 12 bytes.
  isam::Fcb altered = fcbs[5];
  altered[0] = 7;
  lib.cgetr(altered, address, flag);
  EXPECT_EQ(address, 5);
  lib.cclfd(altered, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "cclfd|not open");
  for (int i : {0, 1, 2, 4, 5}) {
    lib.cclfd(fcbs[i], status);
    EXPECT_EQ(status, 0) << i;
  }
  EXPECT_EQ(last(), "");
}

TEST_F(Interface, CloseFailuresStillFreeTheHandles) {
  // A reader, which writes its open marks straight to the files.
  isam::Library lib(isam::LibraryOptions{.role = isam::LibraryOptions::Role::kReader});
  lib.set_error_hook([this](std::string_view tag, std::string_view message) {
    reports.push_back(std::string(tag) + "|" + std::string(message));
  });
  Db db(lib);
  // Both files lose their headers while open (and have nothing to write
  // back): the closes cannot clear the open marks.
  std::filesystem::resize_file("STOCK.XXX", 0);
  std::filesystem::resize_file("STOCK", 0);
  lib.cclfx(1, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "cclfx|error in clfile");
  lib.cclfd(db.fcb, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "cclfd|error return from clfild");
  // The slot and the entry are free again.
  lib.cclfx(1, status);
  EXPECT_EQ(last(), "cclfx|not open");
  lib.cclfd(db.fcb, status);
  EXPECT_EQ(last(), "cclfd|not open");
}

TEST_F(Interface, ReadFailureAndAddFailures) {
  Db db(lib);
  isam::Block block{};
  lib.crdbk(db.fcb, 0, block, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "crdbk|error in rdblkd");
  lib.cwrbk(db.fcb, 3, block, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "cwrbk|error in wrblkd");
  lib.cwtbk(db.fcb, 1, block, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(last(), "cwtbk|error in wrtblkd");

  std::array<std::uint8_t, 22> key = numbered_key(1);
  lib.caddk(1, key, 5, 0, status);
  EXPECT_EQ(status, 0);
  lib.caddk(1, key, 7, 0, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(lib.core_error(), isam::kKeyPresent);
  // A key shorter than the key length is refused; the caller's key is
  // never changed by an addition.
  lib.caddk(1, std::span<const std::uint8_t>(key.data(), 10), 7, 0, status);
  EXPECT_EQ(status, 1);
  std::array<std::uint8_t, 10> short_key{};
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = true;
  lib.cfind(1, isam::kFindPosition, short_key, address, type, found);
  EXPECT_FALSE(found);
  EXPECT_EQ(last(), "");  // failures inside the core are not reported
  db.close();
}

TEST_F(Interface, DefaultHookIsSilent) {
  isam::Library quiet;
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  quiet.cclfx(1, status);
  quiet.copfx(1, make_name_field("NONE", "XXX"), status);
  lib.set_error_hook(nullptr);
  lib.cclfx(1, status);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace isam_test
