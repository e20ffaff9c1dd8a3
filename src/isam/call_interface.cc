// The sixteen operations of the call interface over the library core.
//
// Each operation checks its handle (an index slot 1..3, or an fcb naming an
// entry of the five-entry fcb table), runs one core operation and turns its
// result into a status word (0 success, 1 failure) or a true/false result.
// Failures with a message go to the error hook with the operation's tag.
// Failures the core meets inside a successful call (the end of the keys, no
// free block) are not reported.
#include "isam/call_interface.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "isam/coding.h"
#include "isam/index.h"
#include "isam/record_file.h"

namespace isam {

struct Library::State {
  core::Core core;
  std::array<std::unique_ptr<core::OpenIndex>, kIndexSlots> slots;
  core::FcbTable fcbs;
  ErrorHook hook;

  // A step along the chain reached a new leaf: its entries name the blocks
  // a walk reads next, so they are loaded ahead in each open record file.
  void read_ahead(const core::OpenIndex& index, int link) {
    ahead_leaf = index.work_number;
    std::array<int, core::kFcbTableSize> fds;
    std::size_t count = 0;
    for (const core::FcbEntry& f : fcbs) {
      if (f.in_use()) fds[count++] = f.file->file.fd();
    }
    core::read_ahead(core, index, link, {fds.data(), count});
  }
  std::uint16_t ahead_leaf = 0;

  void report(std::string_view tag, std::string_view message) const {
    if (hook) hook(tag, message);
  }
  // A failed call: status 1 and the hook told.
  void fail(std::int16_t& status, std::string_view tag, std::string_view message) const {
    status = 1;
    report(tag, message);
  }
  // The open index in a slot, or null.
  core::OpenIndex* index(std::int16_t slot) const {
    if (slot < 1 || slot > kIndexSlots) return nullptr;
    return slots[slot - 1].get();
  }
  // The open index in a slot; for an empty one null, with `result` false
  // and the hook told `message`.
  core::OpenIndex* index_or_report(std::int16_t slot, bool& result, std::string_view tag,
                                   std::string_view message) const {
    core::OpenIndex* open = index(slot);
    if (!open) {
      result = false;
      report(tag, message);
    }
    return open;
  }
  core::RecordFile* record_file(const Fcb& fcb) {
    core::FcbEntry* entry = core::find_fcb(fcbs, fcb);
    return entry ? entry->file.get() : nullptr;
  }
};

namespace {

// Notices as lines on a stream, each flushed at once.
std::function<void(std::string_view)> lines_to(std::FILE* stream) {
  return [stream](std::string_view line) {
    std::fprintf(stream, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stream);
  };
}

}  // namespace

NameField make_name_field(std::string_view name, std::string_view extension) {
  NameField f;
  f.fill(' ');
  for (std::size_t i = 0; i < 8 && i < name.size(); ++i) f[i] = name[i];
  for (std::size_t i = 0; i < 3 && i < extension.size(); ++i) f[8 + i] = extension[i];
  return f;
}

std::string file_name_of(const NameField& field) {
  std::string s;
  for (int i = 0; i < 8 && field[i] != ' '; ++i) s += field[i];
  s += '.';
  for (int i = 8; i < 11 && field[i] != ' '; ++i) s += field[i];
  return s;
}

Library::Library() : state_(std::make_unique<State>()) {
  core::Core& core = state_->core;
  core.writer = true;
  core.lock_wait_ms = LibraryOptions().lock_wait_ms;
  core.notice = lines_to(LibraryOptions().notices);
}
Library::Library(const LibraryOptions& options) : Library() {
  core::Core& core = state_->core;
  if (options.env) core.env = options.env;
  core.writer = options.role == LibraryOptions::Role::kWriter;
  core.lock_wait_ms = options.lock_wait_ms;
  core.on_wait = options.on_wait;
  core.stop = options.stop;
  // A reader reads files it may not write, without their open marks.
  core.allow_read_only = !core.writer;
  core.accept_open_mark = options.accept_open_mark;
  core.notice = lines_to(options.notices);
  core.write_batch_blocks = options.write_batch_blocks;
}

bool Library::rollback() {
  State& s = *state_;
  for (auto& slot : s.slots) slot.reset();
  for (core::FcbEntry& entry : s.fcbs) {
    entry.file.reset();
    entry.fcb.fill(0);
  }
  bool ok = true;
  for (auto& journal : s.core.journals) ok = journal->rollback(s.core) && ok;
  s.core.journals.clear();
  return ok;
}
Library::~Library() {
  // A change that failed is put back now; one merely left unclosed (as a
  // crash would leave it) stays for the next open.
  State& s = *state_;
  for (auto& slot : s.slots) slot.reset();
  for (core::FcbEntry& entry : s.fcbs) entry.file.reset();
  for (auto& journal : s.core.journals)
    if (journal->failed()) journal->rollback(s.core);
}

void Library::set_error_hook(ErrorHook hook) { state_->hook = std::move(hook); }

void Library::set_lock_wait(int milliseconds) { state_->core.lock_wait_ms = milliseconds; }

std::int16_t Library::core_error() const { return state_->core.code; }

int Library::system_error() const { return state_->core.system_error; }

// ---- reader side ----

void Library::copfx(std::int16_t slot, const NameField& name, std::int16_t& status) {
  State& s = *state_;
  if (slot < 1 || slot > kIndexSlots || s.slots[slot - 1]) return s.fail(status, "copfx", "table overflow ");
  s.slots[slot - 1] = core::opfile(s.core, file_name_of(name));
  if (!s.slots[slot - 1]) return s.fail(status, "copfx", "error in opfile");
  status = 0;
}

void Library::copfd(const NameField& name, Fcb& fcb, std::int16_t& status) {
  State& s = *state_;
  // The name is copied as characters: a zero byte ends it and the rest of
  // the fcb is zero-filled.
  fcb[0] = 1;
  auto end = std::find(name.begin(), name.end(), '\0');
  std::fill(fcb.begin() + 1, fcb.end(), 0);
  std::copy(name.begin(), end, fcb.begin() + 1);
  auto free_entry = std::find_if(s.fcbs.begin(), s.fcbs.end(), [](const core::FcbEntry& e) { return !e.in_use(); });
  if (free_entry == s.fcbs.end()) return s.fail(status, "copfd", "table overflow ");
  auto file = core::opfild(s.core, file_name_of(name));
  if (!file) return s.fail(status, "copfd", "error in opfild");
  free_entry->fcb = fcb;
  free_entry->file = std::move(file);
  status = 0;
}

void Library::cfind(std::int16_t slot, std::int16_t mode, std::span<std::uint8_t> key, std::uint16_t& address,
                    std::uint8_t& type, bool& found) {
  State& s = *state_;
  core::OpenIndex* index = s.index_or_report(slot, found, "cfind", "not open");
  if (!index) return;
  found = core::find(s.core, *index, mode, key, address, type);
  if (found && (mode == kFindNext || mode == kFindPrevious) && index->work_number != s.ahead_leaf)
    s.read_ahead(*index, mode == kFindNext ? format::kNodeNext : format::kNodePrevious);
}

void Library::crdbk(const Fcb& fcb, std::uint16_t address, std::span<std::uint8_t, kBlockSize> buffer,
                    std::int16_t& status) {
  State& s = *state_;
  core::RecordFile* file = s.record_file(fcb);
  if (!file) return s.fail(status, "crdbk", "no fcb match ");
  if (!core::rdblkd(s.core, *file, address, buffer)) return s.fail(status, "crdbk", "error in rdblkd");
  status = 0;
}

void Library::cclfx(std::int16_t slot, std::int16_t& status) {
  State& s = *state_;
  core::OpenIndex* index = s.index(slot);
  if (!index) return s.fail(status, "cclfx", "not open");
  bool ok = core::clfile(s.core, *index);
  // The slot is emptied whatever the close did; a record whose close failed
  // is released without writing anything more.
  s.slots[slot - 1].reset();
  status = ok ? 0 : 1;
  if (!ok) s.report("cclfx", "error in clfile");
}

void Library::cclfd(const Fcb& fcb, std::int16_t& status) {
  State& s = *state_;
  if (fcb[0] == 0) return;
  auto entry =
      std::find_if(s.fcbs.begin(), s.fcbs.end(), [&](const core::FcbEntry& e) { return e.in_use() && e.fcb == fcb; });
  if (entry == s.fcbs.end()) return s.fail(status, "cclfd", "not open");
  bool ok = core::clfild(s.core, std::move(entry->file));
  entry->fcb.fill(0);
  status = ok ? 0 : 1;
  if (!ok) s.report("cclfd", "error return from clfild");
}

// ---- writer side ----

void Library::ccrfx(const NameField& name, std::int16_t key_length, std::uint16_t capacity, std::int16_t& status) {
  State& s = *state_;
  if (!core::crfile(s.core, file_name_of(name), key_length, capacity))
    return s.fail(status, "ccrfx", "error in crfile");
  status = 0;
}

void Library::ccrfd(const NameField& name, std::uint16_t capacity, std::int16_t& status) {
  status = core::create_record_file(state_->core, file_name_of(name), capacity) ? 0 : 1;
}

void Library::caddk(std::int16_t slot, std::span<const std::uint8_t> key, std::uint16_t address, std::uint8_t type,
                    std::int16_t& status) {
  State& s = *state_;
  core::OpenIndex* index = s.index(slot);
  if (!index) return s.fail(status, "caddk", "not open");
  status = core::addkey(s.core, *index, key, address, type) ? 0 : 1;
}

void Library::cmdky(std::int16_t slot, std::span<const std::uint8_t> key, std::uint16_t address, std::uint8_t type,
                    bool& done) {
  State& s = *state_;
  core::OpenIndex* index = s.index_or_report(slot, done, "cmdky", "file not open");
  if (!index) return;
  done = core::modify_key(s.core, *index, key, address, type);
}

void Library::cgetr(const Fcb& fcb, std::uint16_t& address, std::uint8_t& flag) {
  State& s = *state_;
  core::RecordFile* file = s.record_file(fcb);
  if (!file) {
    address = 0;
    s.report("cgetr", "error in finddp");
    return;
  }
  flag = 0;
  address = core::finddp(s.core, *file);
}

void Library::cgivr(const Fcb& fcb, std::uint16_t address) { csmap_as(fcb, address, 0, "cgivr"); }

void Library::csmap(const Fcb& fcb, std::uint16_t address, std::int16_t value) {
  csmap_as(fcb, address, value, "csmap");
}

void Library::csmap_as(const Fcb& fcb, std::uint16_t address, std::int16_t value, std::string_view tag) {
  State& s = *state_;
  core::RecordFile* file = s.record_file(fcb);
  if (!file) {
    s.report(tag, "record not assigned");
    return;
  }
  core::set_map_bit(s.core, *file, address, value != 0);
}

void Library::cckrc(const Fcb& fcb, std::uint16_t address, bool& in_use) {
  State& s = *state_;
  core::RecordFile* file = s.record_file(fcb);
  if (!file) {
    in_use = false;
    s.report("cckrc", "not open");
    return;
  }
  in_use = core::test_map_bit(s.core, *file, address);
}

void Library::cwrbk(const Fcb& fcb, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> buffer,
                    std::int16_t& status) {
  write_block_as(fcb, address, buffer, status, "cwrbk", "no fcb match   ", "error in wrblkd");
}

void Library::cwtbk(const Fcb& fcb, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> buffer,
                    std::int16_t& status) {
  write_block_as(fcb, address, buffer, status, "cwtbk", "no fcb match  ", "error in wrtblkd");
}

void Library::write_block_as(const Fcb& fcb, std::uint16_t address, std::span<const std::uint8_t, kBlockSize> buffer,
                             std::int16_t& status, std::string_view tag, std::string_view no_match,
                             std::string_view failed) {
  State& s = *state_;
  core::RecordFile* file = s.record_file(fcb);
  if (!file) return s.fail(status, tag, no_match);
  if (!core::wrblkd(s.core, *file, address, buffer)) return s.fail(status, tag, failed);
  status = 0;
}

}  // namespace isam
