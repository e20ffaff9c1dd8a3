#include "report_common/stop_signal.h"

#include <csignal>

namespace report::stop {

namespace {

// The first signal received (0: none).  sig_atomic_t: written by the
// handler, read by the program between its steps.
volatile std::sig_atomic_t first_signal = 0;

extern "C" void record(int signal) {
  if (first_signal == 0) first_signal = signal;
}

}  // namespace

void install(bool pipe) {
  struct sigaction action {};
  action.sa_handler = record;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns EINTR
  // A signal the program was started with ignored (nohup, a shell's trap)
  // stays ignored.
  auto catch_it = [&](int signal) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    sigaction(signal, &action, nullptr);
  };
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) catch_it(signal);
  if (pipe) {
    catch_it(SIGPIPE);
  } else {
    std::signal(SIGPIPE, SIG_IGN);
  }
}

int requested() { return first_signal; }

void request(int signal) { first_signal = signal; }

std::string name(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGPIPE: return "SIGPIPE";
    default: return "signal " + std::to_string(signal);
  }
}

}  // namespace report::stop
