// Reading a database's files in the invdb tests: the live keys and their
// blocks, straight from the bytes.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "invdb/db_files.h"
#include "support/test_support.h"

namespace invdb_test {

// Live key -> its 256-byte block, for every live key (control records too).
inline std::map<std::string, std::string> live_blocks(const std::filesystem::path& dir, const std::string& name) {
  invdb::files::FileImage index, records;
  std::string error;
  std::map<std::string, std::string> out;
  if (!invdb::files::load_file(dir / (name + ".XXX"), name, index, error) ||
      !invdb::files::load_file(dir / name, name, records, error))
    return out;
  const auto h = invdb::files::read_header(index);
  std::uint32_t a = h.root;
  while (!invdb::files::Node(index.block(a), h.key_length).is_leaf())
    a = invdb::files::Node(index.block(a), h.key_length).pointer(0);
  for (; a != 0;) {
    const invdb::files::Node node(index.block(a), h.key_length);
    for (int i = 0; i < node.usable_count(); ++i) {
      if (node.type(i) == invdb::files::kDeleted || node.pointer(i) == 0) continue;
      const auto block = records.block(node.pointer(i));
      out[std::string(node.key(i))] = std::string(block.begin(), block.end());
    }
    a = node.next();
  }
  return out;
}

// Both files' bytes, to show that a failed command wrote nothing.
inline std::string both_files(const std::filesystem::path& dir, const std::string& name) {
  return test_support::read_file(dir / (name + ".XXX")) + "|" + test_support::read_file(dir / name);
}

}  // namespace invdb_test
