#include "report_common/report_frame.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "report_common/field_routines.h"

namespace report {

namespace {

constexpr std::string_view kBanner = "K O R V A N E     I N V E N T O R Y";
// Records are handed to the file in chunks of exactly this many bytes (the
// last one shorter), a record split between two chunks when it must be:
// the file then grows in whole aligned pieces, which the system keeps in
// large pages, cheaper to fill and to drop when the next run replaces the
// file.  Echo lines are never for a split record: a line is echoed after
// its record is buffered, so only records that went whole are waiting.
constexpr std::size_t kFlushThreshold = 256 * 1024;
// The written part of a new file is sent to the disk in steps of this size,
// so that the write-back a rename over the old file starts is spread over
// the run (bench/README.md).  The blocks are allocated before the rename
// either way, so the crash guarantee stays as it was.
constexpr std::size_t kWriteBackStep = 1024 * 1024;

void place(LineBuffer& line, int column, std::string_view text) {
  const int room = kPrintColumns - (column - 1);
  const int n = std::min(static_cast<int>(text.size()), room);
  if (n > 0) std::copy_n(text.data(), n, line.data() + (column - 1));
}

// The permissions a file created with mode 0666 gets under the umask.
mode_t new_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

ReportFrame::ReportFrame(RunContext& ctx, FrameLayout layout) : ctx_(ctx), layout_(layout) {}

// A frame that goes without its close (a run stopped part way) leaves the
// old file as it was: its work file is removed unrenamed.
ReportFrame::~ReportFrame() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool ReportFrame::open(const RunDate& run_date) {
  run_date_ = run_date;
  line_count_ = layout_.page_length;
  page_number_ = 0;
  record_number_ = 0;
  if (!pending_) pending_ = std::make_unique_for_overwrite<char[]>(kFlushThreshold + kPrintColumns + 2);
  pending_size_ = 0;
  written_ = 0;
  started_ = 0;
  pending_echo_.clear();
  failed_ = false;
  const std::string name(layout_.file_name);
  target_.clear();
  temp_.clear();
  struct stat st;
  const bool exists = ::stat(name.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    // A FIFO or a device (or a link to one) is written through.
    if (layout_.recreate) ::unlink(name.c_str());
    fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } else {
    // A link to a regular file replaces the file it names.
    std::error_code ec;
    target_ = exists ? std::filesystem::canonical(name, ec).string() : name;
    if (ec) target_ = name;
    // A name of its own, so that two runs in one directory never write into
    // one file: each renames a whole report into place.
    temp_ = target_ + ".XXXXXX";
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ >= 0) (void)::fchmod(fd_, exists ? st.st_mode & 07777 : new_file_mode());
  }
  if (fd_ < 0) {
    fail("open", errno);
    return false;
  }
  return true;
}

void ReportFrame::close() {
  if (fd_ < 0) return;
  if (flush() && ::ftruncate(fd_, static_cast<off_t>(record_number_ * record_length())) != 0) {
    fail("write", errno);
    return;
  }
  if (fd_ >= 0) {
    if (::close(fd_) != 0 && !failed_) {
      fail("write", errno);
      return;
    }
    fd_ = -1;
  }
  if (!temp_.empty() && !failed_) {
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
      fail("write", errno);
      return;
    }
    temp_.clear();
  }
}

void ReportFrame::fail(std::string_view what, int error) {
  if (!failed_) {
    std::fprintf(ctx_.diagnostics, "invreport: cannot %.*s %.*s: %s\n", static_cast<int>(what.size()), what.data(),
                 static_cast<int>(layout_.file_name.size()), layout_.file_name.data(), std::strerror(error));
    std::fflush(ctx_.diagnostics);
  }
  failed_ = true;
  ctx_.output_failed = true;
  pending_size_ = 0;
  pending_echo_.clear();
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  // The old file stays as it was.
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool ReportFrame::write_out(std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, pending_.get() + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail("write", n < 0 ? errno : EIO);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  written_ += count;
  pending_size_ -= count;
  if (pending_size_ > 0) std::memmove(pending_.get(), pending_.get() + count, pending_size_);
  if (!temp_.empty() && written_ - started_ >= kWriteBackStep) {
    // The new file's pages are sent on their way to the disk while the
    // report goes on, rather than all at once when it replaces the old
    // file.  A hint: what it cannot do the system does later.
    (void)::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(written_ - started_),
                            SYNC_FILE_RANGE_WRITE);
    started_ = written_;
  }
  std::fwrite(pending_echo_.data(), 1, pending_echo_.size(), ctx_.console);
  pending_echo_.clear();
  return true;
}

void ReportFrame::clear_line() { clear_line(layout_.comma_separated ? ',' : ' '); }

namespace {

// A blank line buffer of each layout: its text columns set to the pad and
// CR LF after them.
template <int Columns>
constexpr std::array<char, Columns + 2> padded_line(char pad) {
  std::array<char, Columns + 2> line{};
  for (int i = 0; i < Columns; ++i) line[i] = pad;
  line[Columns] = '\r';
  line[Columns + 1] = '\n';
  return line;
}
constexpr auto kBlankPrintLine = padded_line<kPrintColumns>(' ');
constexpr auto kBlankCsvLine = padded_line<kCsvColumns>(' ');
constexpr auto kCommaCsvLine = padded_line<kCsvColumns>(',');

}  // namespace

void ReportFrame::clear_line(char pad) {
  // One copy of a whole prepared line of a fixed size; the bytes of the
  // buffer after a comma-separated record's CR LF stay as they are.
  if (!layout_.comma_separated) {
    std::memcpy(ctx_.line.data(), kBlankPrintLine.data(), kBlankPrintLine.size());
  } else {
    std::memcpy(ctx_.line.data(), (pad == ',' ? kCommaCsvLine : kBlankCsvLine).data(), kBlankCsvLine.size());
  }
}

bool ReportFrame::write_record() {
  if (fd_ < 0) return false;
  ++record_number_;
  const int length = record_length();
  // A comma-separated record ends with CR LF in bytes 127-128 whatever the
  // buffer holds beyond them.
  char* const record = pending_.get() + pending_size_;
  // Fixed sizes for each layout, so that the copy is a few moves.
  if (layout_.comma_separated) {
    std::memcpy(record, ctx_.line.data(), kCsvColumns);
  } else {
    std::memcpy(record, ctx_.line.data(), kPrintColumns);
  }
  record[length - 2] = '\r';
  record[length - 1] = '\n';
  pending_size_ += static_cast<std::size_t>(length);
  if (pending_size_ >= kFlushThreshold) return write_out(kFlushThreshold);
  return true;
}

bool ReportFrame::write_rule() {
  clear_line(' ');
  std::fill_n(ctx_.line.data() + 1, kPrintColumns - 1, '-');
  return write_record();
}

bool ReportFrame::write_line() {
  if (!write_heading_if_due() || !write_record()) return false;
  if (layout_.echo_every_line || record_number_ % 10 == 1)
    echo(layout_.echo_columns > 0 ? layout_.echo_columns : text_columns());
  return is_open();
}

bool ReportFrame::write_heading_if_due() {
  if (layout_.comma_separated) return record_number_ > 0 || write_heading_record();
  const bool due = layout_.one_header ? page_number_ == 0 : line_count_ + 1 > layout_.page_length;
  if (due) {
    if (!write_page_header()) return false;
    line_count_ = 0;
  }
  line_count_ += layout_.lines_per_detail;
  return true;
}

bool ReportFrame::write_heading_record() {
  // Built in the line buffer and written before the item record already
  // placed there, which it leaves as it was.
  const LineBuffer saved = ctx_.line;
  clear_line(' ');
  put_text(1, layout_.heading_record);
  const bool ok = write_record();
  if (ok) echo(text_columns());
  ctx_.line = saved;
  return ok;
}

bool ReportFrame::write_page_header() {
  ++page_number_;
  // The header is built in its own buffer, so that a detail line already
  // placed in the line buffer survives it.
  const LineBuffer saved = ctx_.line;
  const Headings& h = ctx_.headings;
  bool ok = true;
  for (int record = 1; record <= 8 && ok; ++record) {
    clear_line(' ');
    if (record <= 4) {
      place(ctx_.line, 2, h.left_line(record));
      place(ctx_.line, 109, h.right_line(record));
    }
    switch (record) {
      case 1:
        ctx_.line[0] = '1';
        place(ctx_.line, 50, kBanner);
        break;
      case 2: place(ctx_.line, 50, layout_.title.substr(0, 37)); break;
      case 3: place(ctx_.line, 62, std::string_view(h.period.data(), h.period.size())); break;
      case 5: {
        place(ctx_.line, 81, "Page");
        integer_column(page_number_, columns(85, 4), 4);
        std::string name(layout_.file_name.substr(0, 8));
        name.resize(8, ' ');
        place(ctx_.line, 92, name);
        place(ctx_.line, 101, "Run");
        place(ctx_.line, 105, std::string_view(run_date_.data(), run_date_.size()));
        break;
      }
      case 6: place(ctx_.line, 1, layout_.heading1); break;
      case 7: place(ctx_.line, 1, layout_.heading2); break;
      case 8: std::fill_n(ctx_.line.data() + 1, kPrintColumns - 1, '-'); break;
      default: break;
    }
    ok = write_record();
  }
  ctx_.line = saved;
  return ok;
}

void ReportFrame::echo(int columns) {
  // An echoed line must be in the file: it waits with the buffered records
  // and reaches the console only once they have been written.
  if (fd_ < 0) return;
  pending_echo_.append(ctx_.line.data(), static_cast<std::size_t>(columns));
  pending_echo_.push_back('\n');
}

}  // namespace report
