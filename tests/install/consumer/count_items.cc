// Counts the items of an inventory store through the installed library:
// every key of the index that begins with "12" and leads to a block starting
// with the same key.  Usage: count_items PATH (the store PATH.XXX and PATH,
// in any directory).
#include <isam/store.h>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::unique_ptr<isam::Store> store;
  isam::Status status = isam::Store::open(argv[1], {}, store);
  if (!status) {
    std::fprintf(stderr, "%s\n", status.message().c_str());
    return 1;
  }
  long items = 0;
  isam::Cursor cursor(*store);
  isam::Block block;
  for (status = cursor.seek("12"); status && cursor.valid() && cursor.entry().key.starts_with("12");
       status = cursor.next()) {
    const isam::Entry& entry = cursor.entry();
    if (store->read(entry.address, block) && std::equal(entry.key.begin(), entry.key.end(), block.begin())) ++items;
  }
  if (status) status = store->commit();
  if (!status) {
    std::fprintf(stderr, "%s\n", status.message().c_str());
    return 1;
  }
  std::printf("%ld\n", items);
  return 0;
}
