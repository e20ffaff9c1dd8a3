// The files of a store, named once.
//
// A store PATH ("demo/STOCK", "/srv/shop/STOCK") is
//   PATH.XXX   the B-tree index
//   PATH       the record file
//   PATH.JNL   the journal, while a writer's change is under way
// all three in one directory.  Inside the core a file is named by a "built
// name": the store path, a point and the file's extension, blank for the
// record file ("demo/STOCK.XXX", "demo/STOCK.").  A built name without a
// point is the file of that name.
#pragma once

#include <string>
#include <string_view>

namespace isam {

inline constexpr std::string_view kIndexSuffix = ".XXX";
inline constexpr std::string_view kJournalSuffix = ".JNL";

// The built names of a store's two files.
inline std::string index_name_of(std::string_view store) { return std::string(store) + std::string(kIndexSuffix); }
inline std::string record_name_of(std::string_view store) { return std::string(store) + "."; }

// The file a built name denotes: a trailing point (a blank extension) is
// dropped ("STOCK." is the file STOCK).
inline std::string_view file_of_built_name(std::string_view name) {
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  return name;
}

// The store a built name belongs to: the name up to its last point, when
// that point lies in the file's own name (not in a directory).
inline std::string_view store_of_built_name(std::string_view name) {
  const std::size_t point = name.rfind('.');
  const std::size_t slash = name.rfind('/');
  if (point == std::string_view::npos || (slash != std::string_view::npos && point < slash)) return name;
  return name.substr(0, point);
}

inline std::string journal_name_of(std::string_view store) { return std::string(store) + std::string(kJournalSuffix); }

}  // namespace isam
