// The search modes of `cfind` and the core error codes of the library.
#pragma once

#include <cstdint>

namespace isam {

// How `cfind` searches.  Plain enumerators, so they pass as the call's
// 16-bit mode word.
enum FindMode : std::int16_t {
  kFindExact = 1,     // the live entry with exactly this key
  kFindPosition = 2,  // the greatest live key not above the key
  kFindNext = 3,      // the next live key from the current position
  kFindPrevious = 4,  // the previous live key
};

// The core error code: one 16-bit code for the whole library, set by core
// operations and never returned through the call interface (see
// Library::core_error).
enum CoreError : std::int16_t {
  kNoError = 0,      // cleared at the start of open, find, add and modify
  kKeyPresent = 1,   // the key is already present and live
  kTooDeep = 2,      // the tree would grow past 9 levels
  kIoFailed = 3,     // a block transfer failed, no map block was left, or
                     // a node, link or pointer was found damaged
  kNoFreeNode = 4,   // not enough free nodes for a split cascade
  kHeaderRead = 5,   // header, root or first map block unreadable (or
                     // damaged) at open; header unreadable at close or at
                     // root growth
  kHeaderWrite = 6,  // header write failed at open or close, or a dirty
                     // node or map block could not be written at close
  kBadMode = 7,      // search mode outside 1..4
  kNoMemory = 8,     // out of memory
  kOpenFailed = 9,   // opening or creating the file failed
  kWasOpen = 10,     // warning: the file was still marked open
};

}  // namespace isam
