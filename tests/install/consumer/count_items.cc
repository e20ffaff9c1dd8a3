// Counts the items of an inventory database through the installed library:
// every key of the index that begins with "12" and leads to a block starting
// with the same key.  Usage: count_items NAME (NAME.XXX and NAME in the
// current directory).
#include <isam/call_interface.h>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  isam::Library lib;
  isam::Fcb fcb{};
  std::int16_t status = 1;
  lib.copfx(1, isam::make_name_field(argv[1], "XXX"), status);
  if (status == 0) lib.copfd(isam::make_name_field(argv[1], ""), fcb, status);
  if (status != 0) return 1;
  std::array<std::uint8_t, 22> key;
  key.fill(' ');
  key[0] = '1', key[1] = '2';
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  bool found = false;
  long items = 0;
  isam::Block block;
  for (lib.cfind(1, 2, key, address, type, found); found;) {
    lib.cfind(1, 3, key, address, type, found);
    if (!found || key[0] != '1' || key[1] != '2') break;
    lib.crdbk(fcb, address, block, status);
    if (status == 0 && std::equal(key.begin(), key.end(), block.begin())) ++items;
  }
  std::printf("%ld\n", items);
  lib.cclfx(1, status);
  lib.cclfd(fcb, status);
  return status;
}
