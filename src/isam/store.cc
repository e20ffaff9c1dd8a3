// The typed store API over the library core.
//
// A Store holds one open index and one open record file in a core of its
// own (index.h, record_file.h), with an Env of its own unless the options
// give one.  Each call clears the core's error state, runs core operations
// and turns what failed into a Status: the core code says which step
// failed, the errno why, and the open's own findings (Core::detail) what is
// wrong with a file.
//
// Cursors: the index has one current position (its work node and entry),
// which every search and every change moves.  The store counts those moves
// (its generation); a cursor remembers the count after its own move and,
// when another move came between, finds its key again before it steps.
#include "isam/store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "isam/coding.h"
#include "isam/index.h"
#include "isam/record_file.h"

namespace isam {

using Kind = Status::Kind;

Status Status::error(Kind kind, std::string file, int system_errno, std::string words) {
  Status s;
  s.kind_ = kind;
  s.file_ = std::move(file);
  s.errno_ = system_errno;
  s.words_ = std::move(words);
  return s;
}

std::string Status::message() const { return file_.empty() ? words_ : file_ + ": " + words_; }

namespace {

using core::Key;

// An errno in words: the common ones as a user reads them, others as the
// system says them.
std::string errno_words(int error) {
  switch (error) {
    case ENOSPC: return "the disk is full (" + std::string(std::strerror(error)) + ")";
    case EIO: return "the device failed (" + std::string(std::strerror(error)) + ")";
    case ENOENT: return "no such file";
    case EACCES:
    case EPERM: return "permission denied";
    case EROFS: return "the file system is read-only";
    case EWOULDBLOCK: return "in use by another program";
    case EINTR: return "stopped before it could finish";
    case ENOMEM: return "out of memory";
    default: return std::strerror(error);
  }
}

constexpr std::string_view kMarkedOpenWords =
    "it is marked open, so a program that used it stopped without closing it or changed it without a journal";
// Leaf ends a reader's cursors step over, with no seek between, before its
// files are loaded whole (StoreOptions::load_files_on_walk).
constexpr int kWalkLeaves = 3;
constexpr std::string_view kNotANode = "the index is damaged: a node, link or pointer is not what the format allows";

bool all_zero(std::span<const std::uint8_t> key) {
  return std::all_of(key.begin(), key.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

struct Store::Impl {
  std::string path;
  std::string index_file, record_file;  // as shown in statuses
  StoreOptions options;
  core::Core core;
  std::unique_ptr<core::OpenIndex> index;
  std::unique_ptr<core::RecordFile> records;
  bool writer = false;
  bool open = false;
  std::uint64_t generation = 1;  // moves of the index's position so far
  std::uint16_t ahead_leaf = 0;
  bool load_on_walk = false;  // the files' pages are still to be loaded at a walk
  int leaves_stepped = 0;     // leaf ends stepped over since the latest seek
  Block view_buffer{};        // view()'s block where it is not mapped

  // Every call starts with a clean error state.
  void begin() {
    core.code = kNoError;
    core.system_error = 0;
    core.past_end = false;
    core.detail.clear();
  }
  std::uint64_t moved() { return ++generation; }
  int key_length() const { return index ? index->key_length : 0; }

  Status closed() const { return Status::error(Kind::kInvalid, path, 0, "the store is closed"); }

  // What the core's latest failure on `file` was, as a Status whose words
  // start with `what` ("cannot read block 17").
  Status failure(const std::string& file, std::string_view what) const {
    const int e = core.system_error;
    Kind kind = Kind::kIo;
    std::string why;
    switch (core.code) {
      case kNoMemory: return Status::error(Kind::kNoMemory, file, 0, std::string(what) + ": out of memory");
      case kWasOpen: kind = Kind::kMarkedOpen, why = kMarkedOpenWords; break;
      case kKeyPresent: kind = Kind::kKeyPresent, why = "it is already present"; break;
      case kTooDeep:
        kind = Kind::kFull, why = "the index would grow past " + std::to_string(format::kMaxLevels) + " levels";
        break;
      case kNoFreeNode: kind = Kind::kFull, why = "no free node left in the index"; break;
      case kBadMode: kind = Kind::kInvalid, why = "not a search the index knows"; break;
      default:
        if (!core.detail.empty() && core.code == kHeaderRead) {
          kind = Kind::kDamaged, why = core.detail;
        } else if (core.past_end) {
          kind = Kind::kDamaged, why = "the file is cut short (a block lies past its end)";
        } else if (e == 0) {
          kind = Kind::kDamaged, why = core.code == kHeaderRead ? "its header, root or first map block is not what "
                                                                  "the format allows"
                                                                : std::string(kNotANode);
        } else {
          why = errno_words(e);
          if (e == ENOENT) kind = Kind::kNotFound;
          if (e == EWOULDBLOCK || e == EAGAIN) kind = Kind::kBusy, why = errno_words(EWOULDBLOCK);
          if (e == EINTR) kind = Kind::kInterrupted;
          if (e == ENOMEM) kind = Kind::kNoMemory;
          if ((e == EACCES || e == EPERM || e == EROFS) && writer && core.code == kOpenFailed) kind = Kind::kReadOnly;
          if (!core.detail.empty()) why = core.detail + ": " + why;
        }
    }
    return Status::error(kind, file, e, std::string(what) + ": " + why);
  }

  // A padded copy of `key` (kInvalid when it is longer than the key length).
  Status pad(std::string_view key, std::uint8_t with, Key& area) const {
    if (key.size() > static_cast<std::size_t>(key_length()))
      return Status::error(Kind::kInvalid, index_file, 0,
                           "a key of " + std::to_string(key.size()) + " bytes is longer than the index's " +
                               std::to_string(key_length()));
    area.fill(with);
    std::copy(key.begin(), key.end(), area.begin());
    return Status::ok();
  }
  std::span<std::uint8_t> key_span(Key& area) const { return {area.data(), static_cast<std::size_t>(key_length())}; }

  // Closes both files; for a writer the last close commits (or rolls back a
  // change that failed).  The first failure is the result.
  Status close_files() {
    Status result;
    if (index) {
      begin();
      if (!core::clfile(core, *index)) result = failure(index_file, writer ? "cannot commit" : "cannot close");
      index.reset();
    }
    if (records) {
      begin();
      const bool ok = core::clfild(core, std::move(records));
      if (!ok && result) result = failure(record_file, writer ? "cannot commit" : "cannot close");
    }
    open = false;
    return result;
  }

  // Gives up a writer's change: releases both files without writing and
  // puts them back as they were.
  Status roll_back() {
    index.reset();
    records.reset();
    open = false;
    begin();
    bool ok = true;
    for (auto& journal : core.journals) ok = journal->rollback(core) && ok;
    core.journals.clear();
    if (ok) return Status::ok();
    return failure(path, "cannot roll back (the next open does it)");
  }
};

// ---- Store ----

Store::Store(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Store::~Store() {
  if (!impl_ || !impl_->open) return;
  if (impl_->writer) {
    impl_->roll_back();
  } else {
    impl_->close_files();
  }
}

const std::string& Store::path() const { return impl_->path; }
std::string Store::index_path() const { return impl_->index_file; }
std::string Store::record_path() const { return impl_->record_file; }
std::string Store::journal_path() const { return journal_name_of(impl_->path); }
bool Store::writable() const { return impl_->writer; }
bool Store::read_only() const {
  return impl_->index && (impl_->index->file.read_only || (impl_->records && impl_->records->file.read_only));
}
int Store::key_length() const { return impl_->key_length(); }

Status Store::create(std::string_view path, std::uint16_t capacity, int key_length) {
  const std::string index = index_name_of(path), records(path);
  if (path.empty() || path.find('\0') != std::string_view::npos)
    return Status::error(Kind::kInvalid, std::string(path), 0, "cannot create: not a store name");
  if (key_length < 1 || key_length > kMaxKeyLength)
    return Status::error(Kind::kInvalid, index, 0,
                         "cannot create: a key length of " + std::to_string(key_length) + " is out of range (1 to " +
                             std::to_string(kMaxKeyLength) + ")");
  core::Core core;
  Env& env = *core.env;
  core.writer = true;
  auto failed = [&](const std::string& file) {
    const int e = core.system_error;
    const Kind kind = e == EEXIST ? Kind::kExists : e == ENOENT ? Kind::kNotFound : Kind::kIo;
    return Status::error(kind, file, e,
                         "cannot create: " + (e == EEXIST ? std::string("the file already exists") : errno_words(e)));
  };
  if (!core::crfile(core, index_name_of(path), key_length, capacity)) return failed(index);
  if (!core::create_record_file(core, record_name_of(path), capacity)) {
    const Status status = failed(records);
    env.unlink(index.c_str());
    return status;
  }
  return Status::ok();
}

Status Store::open(std::string_view path, const StoreOptions& options, std::unique_ptr<Store>& store) {
  store.reset();
  auto impl = std::unique_ptr<Impl>(new (std::nothrow) Impl);
  if (!impl) return Status::error(Kind::kNoMemory, std::string(path), ENOMEM, "cannot open: out of memory");
  Impl& s = *impl;
  s.path = std::string(path);
  s.index_file = index_name_of(path);
  s.record_file = std::string(path);
  if (path.empty() || path.find('\0') != std::string_view::npos)
    return Status::error(Kind::kInvalid, s.path, 0, "cannot open: not a store name");
  s.options = options;
  core::Core& c = s.core;
  if (options.env) c.env = options.env;
  s.writer = options.access == StoreOptions::Access::kWrite;
  c.writer = s.writer;
  c.accept_open_mark = options.accept_open_mark;
  c.allow_read_only = !s.writer;
  c.lock_wait_ms = std::max(options.lock_wait_ms, 0);
  c.write_batch_blocks = options.write_batch_blocks;
  c.notice = options.on_notice;
  c.on_wait = options.on_wait;
  c.stop = options.stop;
  s.load_on_walk = !s.writer && options.load_files_on_walk && !options.env;
  if (s.load_on_walk) c.own_env.set_enter_at_first_read(false);

  s.begin();
  s.index = core::opfile(c, s.index_file);
  if (!s.index) {
    Status status = s.failure(s.index_file, "cannot open");
    s.roll_back();
    return status;
  }
  s.records = core::opfild(c, record_name_of(path));
  if (!s.records) {
    Status status = s.failure(s.record_file, "cannot open");
    if (s.writer) {
      s.roll_back();
    } else {
      s.close_files();
    }
    return status;
  }
  s.open = true;
  store.reset(new (std::nothrow) Store(std::move(impl)));
  if (!store) return Status::error(Kind::kNoMemory, s.path, ENOMEM, "cannot open: out of memory");
  return Status::ok();
}

Status Store::find(std::string_view key, Entry& entry) {
  Impl& s = *impl_;
  if (!s.open) return s.closed();
  Key area;
  if (Status padded = s.pad(key, ' ', area); !padded) return padded;
  s.begin();
  s.moved();
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  if (all_zero(s.key_span(area)) || !core::find(s.core, *s.index, kFindExact, s.key_span(area), address, type)) {
    if (s.core.code != kNoError) return s.failure(s.index_file, "cannot search the index");
    return Status::error(Kind::kNotFound, s.index_file, 0, "no such key");
  }
  entry.key.assign(reinterpret_cast<const char*>(area.data()), static_cast<std::size_t>(s.key_length()));
  entry.address = address;
  entry.type = type;
  return Status::ok();
}

Status Store::read(std::uint16_t address, Block& block) {
  Impl& s = *impl_;
  if (!s.open) return s.closed();
  s.begin();
  if (core::rdblkd(s.core, *s.records, address, block)) return Status::ok();
  return s.failure(s.record_file, "cannot read block " + std::to_string(address));
}

Status Store::view(std::uint16_t address, std::span<const std::uint8_t>& block) {
  Impl& s = *impl_;
  block = {};
  if (!s.open) return s.closed();
  // Straight out of the mapping only through the store's own Env (a test
  // Env's reads must not be bypassed) and for a file without a journal.
  const core::BlockFile& file = s.records->file;
  if (address != 0 && s.core.env == &s.core.own_env && file.journal() == nullptr) {
    if (const std::uint8_t* bytes = s.core.env->mapped(file.fd(), format::offset_of(address), kBlockSize)) {
      block = {bytes, kBlockSize};
      return Status::ok();
    }
  }
  if (Status status = read(address, s.view_buffer); !status) return status;
  block = s.view_buffer;
  return Status::ok();
}

Status Store::write(std::uint16_t address, const Block& block) {
  Impl& s = *impl_;
  if (!s.open) return s.closed();
  if (!s.writer) return Status::error(Kind::kInvalid, s.record_file, 0, "cannot write: the store is open for reading");
  s.begin();
  if (core::wrblkd(s.core, *s.records, address, block)) return Status::ok();
  const std::string what = "cannot write block " + std::to_string(address);
  if (s.core.code == kNoError)
    return Status::error(Kind::kInvalid, s.record_file, 0, what + ": not a data block of the record file");
  return s.failure(s.record_file, what);
}

Status Store::add(const Block& block, std::uint16_t& address, std::uint8_t type) {
  Impl& s = *impl_;
  address = 0;
  if (!s.open) return s.closed();
  if (!s.writer) return Status::error(Kind::kInvalid, s.record_file, 0, "cannot add: the store is open for reading");
  s.begin();
  const std::uint16_t taken = core::allocate_anywhere(s.core, *s.records);
  if (taken == 0) {
    if (s.core.system_error != 0 || s.core.past_end) return s.failure(s.record_file, "cannot find a free block");
    return Status::error(Kind::kFull, s.record_file, 0, "no free block left in the record file");
  }
  const std::string_view key(reinterpret_cast<const char*>(block.data()), static_cast<std::size_t>(s.key_length()));
  Status status = write(taken, block);
  if (status) status = add_key(key, taken, type);
  if (!status) {
    core::set_map_bit(s.core, *s.records, taken, false);
    return status;
  }
  address = taken;
  return Status::ok();
}

Status Store::add_key(std::string_view key, std::uint16_t address, std::uint8_t type) {
  Impl& s = *impl_;
  if (!s.open) return s.closed();
  if (!s.writer)
    return Status::error(Kind::kInvalid, s.index_file, 0, "cannot add a key: the store is open for reading");
  Key area;
  if (Status padded = s.pad(key, ' ', area); !padded) return padded;
  if (all_zero(s.key_span(area)))
    return Status::error(Kind::kInvalid, s.index_file, 0, "cannot add the all-zero key: the index keeps it");
  s.begin();
  s.moved();
  if (core::addkey(s.core, *s.index, s.key_span(area), address, type)) return Status::ok();
  return s.failure(s.index_file, "cannot add a key");
}

Status Store::remove(std::string_view key) {
  Impl& s = *impl_;
  if (!s.open) return s.closed();
  if (!s.writer) return Status::error(Kind::kInvalid, s.index_file, 0, "cannot delete: the store is open for reading");
  Entry entry;
  if (Status found = find(key, entry); !found) return found;
  s.begin();
  s.moved();
  if (!core::delete_key(s.core, *s.index, {reinterpret_cast<const std::uint8_t*>(entry.key.data()), entry.key.size()}))
    return s.failure(s.index_file, "cannot delete the key");
  core::set_map_bit(s.core, *s.records, entry.address, false);
  return Status::ok();
}

Status Store::free_counts(std::uint32_t& blocks, std::uint32_t& nodes, std::uint32_t enough) {
  Impl& s = *impl_;
  blocks = nodes = 0;
  if (!s.open) return s.closed();
  s.begin();
  const core::RecordFile& r = *s.records;
  const auto free_blocks = core::count_free(s.core, r.file, r.map, r.data_start, enough, true);
  if (!free_blocks) return s.failure(s.record_file, "cannot read the map");
  const core::OpenIndex& x = *s.index;
  const auto free_nodes = core::count_free(s.core, x.file, x.map, x.data_start(), enough);
  if (!free_nodes) return s.failure(s.index_file, "cannot read the map");
  blocks = *free_blocks;
  nodes = *free_nodes;
  return Status::ok();
}

namespace {

std::string_view heading_key(HeadingSide side) {
  return side == HeadingSide::kRight ? control::kRightHeadingKey : control::kLeftHeadingKey;
}

}  // namespace

Status Store::heading(HeadingSide side, std::span<char, kHeadingBytes> text) {
  Impl& s = *impl_;
  std::fill(text.begin(), text.end(), ' ');
  if (!s.open) return s.closed();
  if (s.key_length() != control::kKeyLength)
    return Status::error(Kind::kInvalid, s.index_file, 0, "has no headings: its keys are not 22 bytes");
  Entry entry;
  Status found = find(heading_key(side), entry);
  if (found.kind() == Kind::kNotFound) return Status::ok();
  if (!found) return found;
  Block block;
  if (Status read_status = read(entry.address, block); !read_status) return read_status;
  std::copy_n(block.begin() + control::kHeadingOffset, kHeadingBytes, text.begin());
  return Status::ok();
}

Status Store::write_heading(HeadingSide side, std::span<const char, kHeadingBytes> text) {
  Impl& s = *impl_;
  if (!s.open) return s.closed();
  if (s.key_length() != control::kKeyLength)
    return Status::error(Kind::kInvalid, s.index_file, 0, "has no headings: its keys are not 22 bytes");
  const std::string_view key = heading_key(side);
  Entry entry;
  Status found = find(key, entry);
  if (!found && found.kind() != Kind::kNotFound) return found;
  Block block{};
  if (found) {
    if (Status read_status = read(entry.address, block); !read_status) return read_status;
  }
  std::copy(key.begin(), key.end(), block.begin());
  std::copy(text.begin(), text.end(), block.begin() + control::kHeadingOffset);
  if (found) return write(entry.address, block);
  std::uint16_t address = 0;
  return add(block, address);
}

Status Store::commit() {
  Impl& s = *impl_;
  if (!s.open) return s.closed();
  return s.close_files();
}

Status Store::rollback() {
  Impl& s = *impl_;
  if (!s.open) return s.closed();
  if (!s.writer) return s.close_files();
  return s.roll_back();
}

// ---- Cursor ----

Cursor::Cursor(Store& store) : store_(store) {}
Cursor::~Cursor() = default;

Status Cursor::settle(bool found, std::span<const std::uint8_t> key, std::uint16_t address, std::uint8_t type) {
  Store::Impl& s = store_.impl();
  generation_ = s.moved();
  valid_ = found && !all_zero(key);
  if (valid_) {
    if (entry_.key.size() == key.size()) {  // a step: the key's room is there
      std::memcpy(entry_.key.data(), key.data(), key.size());
    } else {
      entry_.key.assign(reinterpret_cast<const char*>(key.data()), key.size());
    }
    entry_.address = address;
    entry_.type = type;
    return Status::ok();
  }
  if (found || s.core.code == kNoError) return Status::ok();  // past an end
  return s.failure(s.index_file, "cannot read the index");
}

Status Cursor::first() { return to_end(false); }
Status Cursor::last() { return to_end(true); }

Status Cursor::to_end(bool last) {
  Store::Impl& s = store_.impl();
  valid_ = false;
  if (!s.open) return s.closed();
  s.begin();
  Key area{};
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  const auto span = s.key_span(area);
  const bool found = last ? core::find_last(s.core, *s.index, span, address, type)
                          : core::find_first(s.core, *s.index, span, address, type);
  return settle(found, span, address, type);
}

Status Cursor::seek(std::string_view key) {
  Store::Impl& s = store_.impl();
  valid_ = false;
  if (!s.open) return s.closed();
  Key area;
  if (Status padded = s.pad(key, 0, area); !padded) return padded;
  const Key wanted = area;
  s.begin();
  s.leaves_stepped = 0;
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  const auto span = s.key_span(area);
  // The greatest live key not above the key; the one after it unless it is
  // the key itself.
  bool found = core::find(s.core, *s.index, kFindPosition, span, address, type);
  if (!found && s.core.code == kNoError) {
    found = core::find_first(s.core, *s.index, span, address, type);
  } else if (found && (all_zero(span) || std::memcmp(area.data(), wanted.data(), span.size()) != 0)) {
    found = core::find(s.core, *s.index, kFindNext, span, address, type);
  }
  return settle(found, span, address, type);
}

Status Cursor::reseek(bool& found, bool& below) {
  Store::Impl& s = store_.impl();
  found = below = false;
  Key area{};
  std::copy(entry_.key.begin(), entry_.key.end(), area.begin());
  const auto span = s.key_span(area);
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  if (core::find(s.core, *s.index, kFindPosition, span, address, type)) {
    found = std::memcmp(area.data(), entry_.key.data(), span.size()) == 0;
    below = !found;
    if (below && !all_zero(span)) {
      entry_.key.assign(reinterpret_cast<const char*>(area.data()), span.size());
      entry_.address = address;
      entry_.type = type;
    } else if (below) {
      below = false;  // only the sentinel lies below
    }
    return Status::ok();
  }
  if (s.core.code != kNoError) return s.failure(s.index_file, "cannot read the index");
  return Status::ok();
}

Status Cursor::next() { return ordered_step(true); }
Status Cursor::previous() { return ordered_step(false); }

// Every step must leave the cursor strictly past the key it stood on.  A
// step that finds its key again re-descends from the root, so the chain's
// own loop guard starts afresh at each one: without this order check a
// damaged index whose chain leads back to smaller keys would hand out keys
// for ever to two cursors taking turns.  With it, a walk meets each entry
// of the file at most once.
Status Cursor::ordered_step(bool forwards) {
  if (!valid_) return step(forwards);
  Key before{};
  const std::size_t length = std::min(entry_.key.size(), before.size());
  std::memcpy(before.data(), entry_.key.data(), length);
  Status status = step(forwards);
  if (!status || !valid_) return status;
  const int order = std::memcmp(entry_.key.data(), before.data(), length);
  if (forwards ? order > 0 : order < 0) return status;
  valid_ = false;
  return Status::error(Status::Kind::kDamaged, store_.impl().index_file, 0,
                       "the index's keys are out of order: the file is damaged");
}

Status Cursor::step(bool forwards) {
  Store::Impl& s = store_.impl();
  if (!s.open) {
    valid_ = false;
    return s.closed();
  }
  if (!valid_) return Status::ok();
  s.begin();
  Key area{};
  const auto span = s.key_span(area);
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  if (generation_ != s.generation) {
    bool found = false, below = false;
    if (Status status = reseek(found, below); !status) {
      valid_ = false;
      return status;
    }
    if (forwards && !found && !below) {
      // No live key at or below ours: the first key is the next one.
      const bool first = core::find_first(s.core, *s.index, span, address, type);
      return settle(first, span, address, type);
    }
    if (!forwards && below) {
      // Our key is gone; the greatest key below it is the previous one.
      generation_ = s.moved();
      return Status::ok();
    }
    if (!forwards && !found) return settle(false, span, address, type);
  }
  const std::uint16_t leaf = s.index->work_number;
  const bool found = core::find(s.core, *s.index, forwards ? kFindNext : kFindPrevious, span, address, type);
  if (found && s.load_on_walk && s.index->work_number != leaf && ++s.leaves_stepped == kWalkLeaves) {
    // Steps over several leaves without a seek: a walk, for which loading
    // the files whole is cheapest.
    s.load_on_walk = false;
    s.core.env->will_walk(s.index->file.fd());
    s.core.env->will_walk(s.records->file.fd());
  }
  if (found && s.index->work_number != s.ahead_leaf) {
    s.ahead_leaf = s.index->work_number;
    const int fd = s.records->file.fd();
    core::read_ahead(s.core, *s.index, forwards ? format::kNodeNext : format::kNodePrevious, {&fd, 1});
  }
  return settle(found, span, address, type);
}

}  // namespace isam
