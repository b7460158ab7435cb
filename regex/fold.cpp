// The case-folded copy of a subject, kept across the searches of a run.
#include <cstdlib>
#include <cstring>

#include "regex/internal.h"

namespace regex_internal {
namespace {

using uchar = unsigned char;

void fold_range(uchar* p, const uchar* end, bool kanji) {
  if (!kanji) {
    // Branch-free, so that the compiler can do many bytes at a time.
    for (; p < end; ++p) *p = static_cast<uchar>(*p + ((static_cast<unsigned>(*p) - 'A' < 26u) << 5));
    return;
  }
  while (p < end) {
    if (kanji && is_lead_byte(*p) && p + 1 < end) {
      p += 2;
      continue;
    }
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<uchar>(*p + 32);
    ++p;
  }
}

}  // namespace

// The folded text for [start, end]; from the cache when its alignment allows.
const unsigned char* folded_text(const uchar* start, const uchar* end, bool kanji, FoldCache* cache) {
  if (cache->copy && cache->end == end && cache->kanji == kanji && cache->origin <= start) {
    const uchar* b = cache->boundary;
    if (!kanji) return cache->copy + (start - cache->origin);
    if (b <= start) {
      while (b < start) b = (is_lead_byte(*b) && b + 1 < end) ? b + 2 : b + 1;
      if (b == start) {
        cache->boundary = start;
        return cache->copy + (start - cache->origin);
      }
    }
  }
  const size_t length = static_cast<size_t>(end - start) + 1;
  auto* copy = static_cast<uchar*>(rx_malloc(length));
  if (!copy) raise(kMsgLackOfMemory);
  std::memcpy(copy, start, length);
  fold_range(copy, copy + (end - start), kanji);
  std::free(cache->copy);
  cache->copy = copy;
  cache->origin = start;
  cache->end = end;
  cache->boundary = start;
  cache->kanji = kanji;
  ++cache->generation;
  return copy;
}

FoldCache::~FoldCache() { std::free(copy); }

}  // namespace regex_internal
