// Runs a command several times and prints the median, fastest and slowest
// wall-clock time in milliseconds, the median processor time (user + system)
// in milliseconds, the largest peak resident set in KiB and the last exit
// status:  measure [--cold FILE[,FILE...]] RUNS COMMAND [ARGUMENTS...]
// The command's output goes to /dev/null; one untimed run comes first so
// that every timed run finds the files in the page cache.  With --cold there
// is no untimed run: the files' pages are dropped from the page cache before
// each run instead, so that every run reads them from the disk.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Run {
  double ms;
  double cpu_ms;
  long max_rss_kib;
  int status;
};

Run run_once(char** argv) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execvp(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  return {std::chrono::duration<double, std::milli>(end - start).count(), ms(usage.ru_utime) + ms(usage.ru_stime),
          usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

// Drops the cached pages of each comma-separated file (they are clean: the
// files were written and closed long before).
void drop_cached(const std::string& files) {
  for (std::size_t at = 0; at <= files.size();) {
    const std::size_t end = std::min(files.find(',', at), files.size());
    const std::string name = files.substr(at, end - at);
    const int fd = open(name.c_str(), O_RDONLY);
    if (fd >= 0) {
      fdatasync(fd);
      posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
      close(fd);
    }
    at = end + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string cold;
  if (argc >= 3 && std::strcmp(argv[1], "--cold") == 0) {
    cold = argv[2];
    argc -= 2;
    argv += 2;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure [--cold FILE[,FILE...]] RUNS COMMAND [ARGUMENTS...]\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[1]));
  if (cold.empty()) run_once(argv + 2);
  std::vector<double> times, cpu;
  long rss = 0;
  int status = 0;
  for (int i = 0; i < runs; ++i) {
    if (!cold.empty()) drop_cached(cold);
    const Run r = run_once(argv + 2);
    times.push_back(r.ms);
    cpu.push_back(r.cpu_ms);
    rss = std::max(rss, r.max_rss_kib);
    status = r.status;
  }
  const auto median = [runs](std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return runs % 2 ? v[runs / 2] : (v[runs / 2 - 1] + v[runs / 2]) / 2;
  };
  const double wall = median(times);
  std::printf("%.1f %.1f %.1f %.1f %ld %d\n", wall, times.front(), times.back(), median(cpu), rss, status);
  return 0;
}
