#include "invdb/db_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "isam/call_interface.h"
#include "isam/env.h"

namespace invdb::files {

std::string system_reason(int error) {
  if (error == ENOSPC) return "the disk is full (" + std::string(std::strerror(error)) + ")";
  if (error == EIO) return "the device failed (" + std::string(std::strerror(error)) + ")";
  return std::strerror(error);
}

int Session::remaining_ms() {
  const long long now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  if (deadline_ms_ < 0) deadline_ms_ = now + wait_ms_;
  return static_cast<int>(std::max(0LL, deadline_ms_ - now));
}

void Session::say_waiting() {
  if (said_) return;
  said_ = true;
  std::fprintf(notices_, "invdb: waiting for another program using %s\n", shown.c_str());
  std::fflush(notices_);
}

InDirectory::InDirectory(const std::filesystem::path& dir) {
  std::error_code ec;
  previous_ = std::filesystem::current_path(ec);
  ok_ = !ec && ::chdir(dir.c_str()) == 0;
  if (!ok_) error_ = ec ? ec.value() : errno;
}

InDirectory::~InDirectory() {
  if (ok_) (void)::chdir(previous_.c_str());
}

namespace {

// A shared lock on the file, waiting as the session allows; empty with
// errno set.
std::shared_ptr<int> lock_shared(const std::filesystem::path& path, Session* session) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  auto lock = std::shared_ptr<int>(new int(fd), [](int* p) {
    ::close(*p);
    delete p;
  });
  // The library's own kind of lock, so that its writers and this reader
  // keep out of each other's way.
  const int wait_ms = session ? session->remaining_ms() : kLockWaitMs;
  for (int waited = 0; isam::Env::system().lock(fd, isam::Env::kShared) != 0; waited += 20) {
    if (errno != EWOULDBLOCK || waited >= wait_ms) {
      errno = EWOULDBLOCK;
      return nullptr;
    }
    if (waited == 1000 && session) session->say_waiting();
    ::usleep(20 * 1000);
  }
  return lock;
}

// A journal beside the file means a writer stopped before it committed: an
// open through the library puts the database back (and says so).
void roll_back_if_hot(const std::filesystem::path& path, Session* session) {
  const std::string name = path.filename().string();
  const std::string stem = name.substr(0, name.find('.'));
  std::error_code ec;
  if (!std::filesystem::exists(path.parent_path() / (stem + ".JNL"), ec)) return;
  InDirectory here(path.parent_path());
  if (!here.ok()) return;  // never a namesake in the working directory
  isam::LibraryOptions options{.role = isam::LibraryOptions::Role::kReader, .lock_wait_ms = kLockWaitMs};
  if (session) {
    options.lock_wait_ms = session->remaining_ms();
    options.on_wait = [session] { session->say_waiting(); };
  }
  isam::Library lib(options);
  const std::string extension = name.size() > stem.size() ? name.substr(stem.size() + 1) : "";
  isam::Fcb fcb{};
  std::int16_t status = 1;
  // Any open of either file rolls the pair back; the record-file open
  // serves both, as both headers keep the map size in the same place.
  lib.copfd(isam::make_name_field(stem, extension), fcb, status);
  if (status == 0) lib.cclfd(fcb, status);
}

}  // namespace

bool load_file(const std::filesystem::path& path, std::string_view shown, FileImage& image, std::string& error,
               Session* session) {
  image.name = shown;
  roll_back_if_hot(path, session);
  image.lock = lock_shared(path, session);
  if (!image.lock) {
    error =
        image.name + (errno == EWOULDBLOCK ? ": in use by another program" : ": cannot open: " + system_reason(errno));
    return false;
  }
  // The whole file, through the descriptor that holds the lock.
  const int fd = *image.lock;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    error = image.name + ": cannot open: " + std::strerror(errno);
    return false;
  }
  image.bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  while (got < image.bytes.size()) {
    const ssize_t n = ::pread(fd, image.bytes.data() + got, image.bytes.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = image.name + ": read error: " + system_reason(errno);
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  image.bytes.resize(got);
  if (image.bytes.size() < kBlockSize) {
    error = image.name + ": too short to hold a header (" + std::to_string(image.bytes.size()) + " bytes)";
    return false;
  }
  return true;
}

Header read_header(const FileImage& image) {
  const isam::format::HeaderView h(image.block(isam::format::kHeaderAddress));
  return {h.root(), h.key_length(), h.node_capacity(), h.map_blocks(), h.open_mark()};
}

bool map_bit(const FileImage& image, std::uint16_t map_blocks, std::uint32_t address) {
  if (address == 0 || address >= map_end(map_blocks)) return false;
  const std::uint32_t map_address = isam::format::map_block_of(address);
  if (!image.has_block(map_address)) return false;
  return isam::format::map_bit_set(image.block(map_address), isam::format::map_bit_of(address));
}

int compare_keys(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::string printable_key(std::string_view key) {
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  std::string out = "\"";
  for (unsigned char c : key) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

}  // namespace invdb::files
