#include <cstdio>

#include "invrender/invrender.h"

int main(int argc, char** argv) { return invrender::run(argc, argv, stdout, stderr); }
