// invreport: writes one inventory report over an indexed inventory database.
#include "driver/driver.h"
#include "report_common/stop_signal.h"

int main(int argc, char** argv) {
  // SIGINT, SIGTERM, SIGHUP and SIGPIPE (a closed pipe: "| head", "| less"
  // and q) stop the run between two items, with the database closed.
  report::stop::install(true);
  return driver::run(argc, argv, stdin, stdout, stderr);
}
