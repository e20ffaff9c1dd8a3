#include <csignal>
#include <cstdio>

#include "invdb/invdb.h"

int main(int argc, char** argv) {
  // A reader that goes away (export ... | head) makes the next write fail
  // with EPIPE, which the command reports after closing the database; the
  // signal would kill the tool with both open marks still set.
  std::signal(SIGPIPE, SIG_IGN);
  return invdb::run(argc, argv, stdout, stderr);
}
