// Placeholder until the tool is built.
#include "invdb/invdb.h"

namespace invdb {

int run(int, const char* const*) { return 0; }

}  // namespace invdb
