// invreport: writes one inventory report over an indexed inventory database.
#include "driver/driver.h"

int main(int argc, char** argv) { return driver::run(argc, argv, stdin, stdout, stderr); }
