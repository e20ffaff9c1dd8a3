#include <cstdio>

#include "invdb/invdb.h"

int main(int argc, char** argv) { return invdb::run(argc, argv, stdout, stderr); }
