// Ordering of the source list.
#pragma once

#include <string_view>

// Byte order of two paths: unsigned bytes, the first difference decides, a
// prefix comes first. No locale, no case folding, no numeric runs.
inline bool PathLess(std::string_view a, std::string_view b) {
  return a.compare(b) < 0;  // char_traits<char> compares as unsigned char
}
