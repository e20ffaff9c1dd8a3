#include "support/test_files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include <gtest/gtest.h>

namespace test_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string templ = (fs::temp_directory_path() / "invtest-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

ProcessResult run_process(const std::string& binary, const std::vector<std::string>& args, const fs::path& cwd,
                          std::string_view input) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe(in_pipe) != 0 || ::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in_pipe[0], 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) ::close(fd);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  ProcessResult result;
  std::size_t written = 0;
  int in_fd = in_pipe[1];
  if (input.empty()) {
    ::close(in_fd);
    in_fd = -1;
  } else {
    ::fcntl(in_fd, F_SETFL, O_NONBLOCK);
  }
  bool out_open = true, err_open = true;
  char buf[65536];
  while (out_open || err_open) {
    pollfd fds[3];
    int n = 0;
    int out_i = -1, err_i = -1, in_i = -1;
    if (out_open) {
      fds[n] = {out_pipe[0], POLLIN, 0};
      out_i = n++;
    }
    if (err_open) {
      fds[n] = {err_pipe[0], POLLIN, 0};
      err_i = n++;
    }
    if (in_fd >= 0) {
      fds[n] = {in_fd, POLLOUT, 0};
      in_i = n++;
    }
    if (::poll(fds, n, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (in_i >= 0 && (fds[in_i].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t w = ::write(in_fd, input.data() + written, input.size() - written);
      if (w > 0) written += static_cast<std::size_t>(w);
      if (w < 0 || written == input.size()) {
        ::close(in_fd);
        in_fd = -1;
      }
    }
    for (auto [idx, fd, open, sink] : {std::tuple{out_i, out_pipe[0], &out_open, &result.out},
                                       std::tuple{err_i, err_pipe[0], &err_open, &result.err}}) {
      if (idx >= 0 && (fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r > 0)
          sink->append(buf, static_cast<std::size_t>(r));
        else
          *open = false;
      }
    }
  }
  if (in_fd >= 0) ::close(in_fd);
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

fs::path data_path(std::string_view relative) { return fs::path(TEST_DATA_DIR) / relative; }

void expect_golden(std::string_view actual, std::string_view relative) {
  const fs::path path = data_path(relative);
  if (std::getenv("UPDATE_GOLDEN") != nullptr) {
    fs::create_directories(path.parent_path());
    write_file(path, actual);
    return;
  }
  ASSERT_TRUE(fs::exists(path)) << "missing expected file " << path;
  const std::string expected = read_file(path);
  if (expected == actual) return;
  // Name the first differing line.
  std::size_t line = 1, i = 0;
  const std::size_t n = std::min(expected.size(), actual.size());
  while (i < n && expected[i] == actual[i]) {
    if (expected[i] == '\n') ++line;
    ++i;
  }
  auto line_at = [](std::string_view s, std::size_t pos) {
    std::size_t b = s.rfind('\n', pos == 0 ? 0 : pos - 1);
    b = (b == std::string_view::npos || pos == 0) ? 0 : b + 1;
    std::size_t e = s.find('\n', pos);
    return std::string(s.substr(b, e == std::string_view::npos ? std::string_view::npos : e - b));
  };
  ADD_FAILURE() << relative << ": differs at line " << line << " (byte " << i << ")\n expected: ["
                << line_at(expected, i) << "]\n   actual: [" << line_at(actual, i) << "]";
}

}  // namespace test_support
