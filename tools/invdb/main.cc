#include "invdb/invdb.h"
#include "report_common/stop_signal.h"

int main(int argc, char** argv) {
  // SIGINT, SIGTERM and SIGHUP stop a command at its next safe point, with
  // the database closed or its change rolled back.  SIGPIPE is ignored: a
  // reader that goes away (export ... | head) makes the next write fail with
  // EPIPE, which the command reports (exit status 1) after closing the
  // database.
  report::stop::install(false);
  return invdb::run(argc, argv, stdout, stderr);
}
