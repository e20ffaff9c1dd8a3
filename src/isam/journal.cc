#include "isam/journal.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "isam/record_file.h"
#include "isam/store_files.h"

namespace isam::core {
namespace {

constexpr char kMagic[8] = {'I', 'S', 'A', 'M', 'J', 'N', 'L', '1'};
constexpr int kRecordHead = 5;  // kind + payload length
constexpr int kChecksum = 4;
constexpr int kUnit = 128;

std::uint32_t fnv1a(const std::uint8_t* p, std::size_t n, std::uint32_t h = 2166136261u) {
  for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

void put_u32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put_u64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t get_u32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | p[i];
  return v;
}
std::uint64_t get_u64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

std::string directory_of(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

// Makes a directory entry change (a created or removed file) durable.
bool sync_directory(Env& env, const std::string& dir) {
  int fd = env.open(dir.c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (fd < 0) return false;
  bool ok = env.fsync(fd) == 0;
  int error = errno;
  env.close(fd);
  errno = error;
  return ok;
}

// Moves all `length` bytes; false with errno set (ENOSPC for a write that
// moved nothing without a reason).
bool write_all(Env& env, int fd, const std::uint8_t* data, std::size_t length, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = env.pwrite(fd, data + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads up to `length` bytes; the count read, or -1.
ssize_t read_upto(Env& env, int fd, std::uint8_t* out, std::size_t length, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = env.pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

Journal::~Journal() {
  if (fd_ >= 0) env_.close(fd_);
}

Journal::Change* Journal::waiting(int id, std::uint32_t n) {
  const std::vector<std::uint16_t>& at = files_[id].waiting_at;
  return n < at.size() && at[n] != 0 ? &waiting_[at[n] - 1] : nullptr;
}

int Journal::attach(const std::string& name, int fd) {
  files_.push_back({name, fd, -1, {}, false, {}});
  ++attached_;
  return static_cast<int>(files_.size()) - 1;
}

void Journal::detach(int id, bool closed) {
  if (!closed) abandoned_ = true;
  files_[id].fd = -1;
  --attached_;
}

bool Journal::fail(Core& core, int error) {
  core.system_error = error;
  core.code = kIoFailed;
  failed_ = true;
  forget_waiting();
  records_.clear();
  return false;
}

void Journal::forget_waiting() {
  for (const Change& c : waiting_) files_[c.id].waiting_at[c.address] = 0;
  waiting_.clear();
}

void Journal::append(char kind, const std::vector<std::uint8_t>& payload) {
  std::size_t at = records_.size();
  records_.resize(at + kRecordHead + payload.size() + kChecksum);
  std::uint8_t* r = records_.data() + at;
  r[0] = static_cast<std::uint8_t>(kind);
  put_u32(r + 1, static_cast<std::uint32_t>(payload.size()));
  std::memcpy(r + kRecordHead, payload.data(), payload.size());
  put_u32(r + kRecordHead + payload.size(), fnv1a(r, kRecordHead + payload.size()));
}

bool Journal::note_length(Core& core, File& file, int id) {
  if (file.original_length >= 0) return true;
  off_t length = env_.file_size(file.fd);
  if (length < 0) return fail(core, errno);
  file.original_length = length;
  file.saved.assign(static_cast<std::size_t>(length / kUnit + 2), false);
  std::vector<std::uint8_t> payload(9 + file.name.size());
  payload[0] = static_cast<std::uint8_t>(id);
  put_u64(payload.data() + 1, static_cast<std::uint64_t>(length));
  std::memcpy(payload.data() + 9, file.name.data(), file.name.size());
  append('F', payload);
  return true;
}

bool Journal::save_original(Core& core, File& file, int id, std::uint64_t offset) {
  const auto length = static_cast<std::uint64_t>(file.original_length);
  if (offset >= length) return true;  // a block the file did not have: the length restores it
  std::size_t unit = offset / kUnit;
  bool first = !file.saved[unit];
  bool second = offset + kUnit < length && !file.saved[unit + 1];
  if (!first && !second) return true;
  std::vector<std::uint8_t> payload(9 + kBlockSize);
  payload[0] = static_cast<std::uint8_t>(id);
  put_u64(payload.data() + 1, offset);
  std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, length - offset));
  ssize_t got = read_upto(env_, file.fd, payload.data() + 9, want, offset);
  if (got < 0) return fail(core, errno);
  payload.resize(9 + static_cast<std::size_t>(got));
  append('B', payload);
  file.saved[unit] = true;
  file.saved[unit + 1] = true;
  return true;
}

bool Journal::read(Core& core, int id, std::uint32_t n, std::uint8_t* out) {
  if (const Change* hit = waiting(id, n)) {
    std::memcpy(out, hit->bytes.data(), kBlockSize);
    return true;
  }
  // A block that straddles a waiting one (an even address) is read from the
  // file once the waiting changes are there.
  if (straddles_waiting(id, n) && !flush(core)) return false;
  ssize_t got = read_upto(env_, files_[id].fd, out, kBlockSize, format::offset_of(n));
  if (got == kBlockSize) return true;
  core.past_end = got >= 0;
  core.system_error = got < 0 ? errno : EIO;
  core.code = kIoFailed;
  return false;
}

bool Journal::write(Core& core, int id, std::uint32_t n, const std::uint8_t* data) {
  if (failed_) {
    core.code = kIoFailed;
    return false;
  }
  if (n > format::kLastAddress) {  // no block address of either file
    core.system_error = EINVAL;
    core.code = kIoFailed;
    return false;
  }
  if (Change* again = waiting(id, n)) {
    std::memcpy(again->bytes.data(), data, kBlockSize);
    return true;
  }
  if (straddles_waiting(id, n) && !flush(core)) return false;
  File& file = files_[id];
  if (!note_length(core, file, id) || !save_original(core, file, id, format::offset_of(n))) return false;
  if (file.waiting_at.empty()) file.waiting_at.assign(format::kLastAddress + 2, 0);
  Change& change = waiting_.emplace_back();
  change.id = id;
  change.address = n;
  std::memcpy(change.bytes.data(), data, kBlockSize);
  file.waiting_at[n] = static_cast<std::uint16_t>(waiting_.size());
  file.changed = true;
  return waiting_.size() < batch_ || flush(core);
}

bool Journal::flush(Core& core) {
  if (failed_) return false;
  if (!records_.empty()) {
    if (fd_ < 0) {
      fd_ = env_.open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
      if (fd_ < 0 || env_.lock(fd_, Env::kExclusive) != 0) return fail(core, errno);
      created_ = true;
      if (!write_all(env_, fd_, reinterpret_cast<const std::uint8_t*>(kMagic), sizeof kMagic, 0)) {
        return fail(core, errno);
      }
      size_ = sizeof kMagic;
      if (!sync_directory(env_, directory_of(path_))) return fail(core, errno);
    }
    if (!write_all(env_, fd_, records_.data(), records_.size(), size_)) return fail(core, errno);
    if (env_.fsync(fd_) != 0) return fail(core, errno);
    size_ += records_.size();
    records_.clear();
  }
  return apply(core);
}

bool Journal::apply(Core& core) {
  if (!records_.empty()) return flush(core);
  // In file and address order; runs of consecutive blocks of one file go
  // out in one transfer.
  order_.clear();
  for (std::uint32_t i = 0; i < waiting_.size(); ++i)
    order_.push_back(static_cast<std::uint64_t>(waiting_[i].id) << 48 | std::uint64_t{waiting_[i].address} << 16 | i);
  std::sort(order_.begin(), order_.end());
  std::vector<std::uint8_t>& run = run_;
  for (std::size_t k = 0; k < order_.size();) {
    const Change& first = waiting_[order_[k] & 0xFFFF];
    run.clear();
    std::uint32_t n = first.address;
    for (; k < order_.size() && order_[k] >> 16 == (static_cast<std::uint64_t>(first.id) << 32 | n); ++k, n += 2) {
      const Block& bytes = waiting_[order_[k] & 0xFFFF].bytes;
      run.insert(run.end(), bytes.begin(), bytes.end());
    }
    if (files_[first.id].fd < 0) return fail(core, EBADF);
    if (!write_all(env_, files_[first.id].fd, run.data(), run.size(), format::offset_of(first.address)))
      return fail(core, errno);
  }
  forget_waiting();
  return true;
}

bool Journal::sync(Core& core, int id) {
  if (!flush(core)) return false;
  if (env_.fsync(files_[id].fd) != 0) return fail(core, errno);
  return true;
}

bool Journal::commit(Core& core) {
  if (abandoned_) failed_ = true;
  if (failed_ || !flush(core)) {
    core.code = kIoFailed;
    return false;
  }
  if (fd_ < 0) return true;  // nothing was ever changed
  // Removing the journal is the commit point.  Once it is gone the change
  // stands; making the removal durable is only asked for.  The lock goes
  // with the descriptor, after the removal.
  const bool removed = env_.unlink(path_.c_str()) == 0;
  const int error = errno;
  env_.close(fd_);
  fd_ = -1;
  if (!removed) return fail(core, error);
  created_ = false;
  (void)sync_directory(env_, directory_of(path_));
  return true;
}

bool Journal::rollback(Core& core) {
  forget_waiting();
  records_.clear();
  failed_ = true;
  if (fd_ >= 0) env_.close(fd_);
  fd_ = -1;
  if (!created_) return true;  // no change reached the files
  bool rolled_back = false;
  if (!recover(core, path_, rolled_back)) return false;
  created_ = false;
  return true;
}

std::string journal_path_for(std::string_view name, std::string& file) {
  std::error_code ec;
  const std::filesystem::path path(file_of_built_name(name));
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  if (ec) absolute = path;
  file = absolute.filename().string();
  const std::filesystem::path store(journal_name_of(store_of_built_name(name)));
  return (absolute.parent_path() / store.filename()).string();
}

namespace {

enum class Owner { kGone, kCommitted, kStillThere };

// Waits (at most core.lock_wait_ms) for the program that writes the journal
// open as `fd` to let go of it.  kCommitted when the journal was removed
// meanwhile: its change stands.
Owner wait_for_owner(Core& core, int fd, const std::string& path) {
  if (!wait_for_lock(core, fd, Env::kExclusive)) {
    if (core.system_error == EAGAIN) core.system_error = EWOULDBLOCK;
    return Owner::kStillThere;
  }
  struct stat held {
  }, named{};
  if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
      held.st_dev != named.st_dev)
    return Owner::kCommitted;
  return Owner::kGone;
}

}  // namespace

bool recover(Core& core, const std::string& journal_path, bool& rolled_back) {
  rolled_back = false;
  Env& env = *core.env;
  int jfd = env.open(journal_path.c_str(), O_RDWR, 0);
  if (jfd < 0) {
    if (errno == ENOENT) return true;
    core.system_error = errno;
    core.code = kOpenFailed;
    return false;
  }
  switch (wait_for_owner(core, jfd, journal_path)) {
    case Owner::kCommitted: env.close(jfd); return true;
    case Owner::kStillThere: env.close(jfd); return false;
    case Owner::kGone: break;
  }
  std::vector<std::uint8_t> bytes;
  off_t size = env.file_size(jfd);
  if (size > 0) {
    bytes.resize(static_cast<std::size_t>(size));
    ssize_t got = read_upto(env, jfd, bytes.data(), bytes.size(), 0);
    bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  }
  env.close(jfd);

  struct Target {
    std::string name;
    std::uint64_t length = 0;
    int fd = -1;
  };
  std::map<int, Target> targets;
  std::vector<std::pair<int, std::pair<std::uint64_t, std::vector<std::uint8_t>>>> blocks;
  std::size_t at = sizeof kMagic;
  bool valid = bytes.size() >= sizeof kMagic && std::memcmp(bytes.data(), kMagic, sizeof kMagic) == 0;
  while (valid && at + kRecordHead + kChecksum <= bytes.size()) {
    const std::uint8_t* r = bytes.data() + at;
    std::uint32_t p = get_u32(r + 1);
    if (p < 9 || at + kRecordHead + p + kChecksum > bytes.size()) break;
    if (get_u32(r + kRecordHead + p) != fnv1a(r, kRecordHead + p)) break;
    int id = r[kRecordHead];
    std::uint64_t value = get_u64(r + kRecordHead + 1);
    const std::uint8_t* rest = r + kRecordHead + 9;
    if (r[0] == 'F') {
      targets[id] = {std::string(reinterpret_cast<const char*>(rest), p - 9), value, -1};
    } else if (r[0] == 'B' && targets.count(id)) {
      blocks.push_back({id, {value, std::vector<std::uint8_t>(rest, rest + (p - 9))}});
    } else {
      break;
    }
    at += kRecordHead + p + kChecksum;
  }

  const std::string dir = directory_of(journal_path);
  bool ok = true;
  int error = 0;
  auto failed = [&] {
    if (ok) error = errno;
    ok = false;
  };
  for (auto& [id, t] : targets) {
    t.fd = env.open((std::filesystem::path(dir) / t.name).c_str(), O_RDWR, 0);
    if (t.fd < 0) failed();
  }
  for (auto it = blocks.rbegin(); ok && it != blocks.rend(); ++it) {
    const Target& t = targets[it->first];
    const auto& [offset, data] = it->second;
    if (!write_all(env, t.fd, data.data(), data.size(), offset)) failed();
  }
  for (auto& [id, t] : targets) {
    if (ok && (env.ftruncate(t.fd, static_cast<off_t>(t.length)) != 0 || env.fsync(t.fd) != 0)) failed();
    if (t.fd >= 0) env.close(t.fd);
  }
  if (ok && (env.unlink(journal_path.c_str()) != 0 || !sync_directory(env, dir))) failed();
  if (!ok) {
    core.system_error = error;
    core.code = kOpenFailed;
    return false;
  }
  rolled_back = !targets.empty();
  return true;
}

}  // namespace isam::core
