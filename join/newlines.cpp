// Line ends to LF: CR LF and lone CR become LF.
#include <bit>
#include <cstring>

#include "join/join.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The first CR or NUL in [p, end), or end. One pass over the text finds both.
const char* find_cr_or_nul(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i nul = _mm_setzero_si128();
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, nul)));
    if (hits != 0) return p + std::countr_zero(static_cast<unsigned>(hits));
  }
#endif
  while (p < end && *p != '\r' && *p != '\0') ++p;
  return p;
}

}  // namespace

size_t normalize_newlines(char* text, size_t n) {
  // The write position never passes the read position, so the text is
  // rewritten over itself. A CR becomes LF at once; an LF right after a CR
  // is then absorbed into it. The first NUL ends the text.
  const char* const end = text + n;
  const char* read = text;
  char* write = text;
  bool after_cr = false;
  for (;;) {
    const char* const stop = find_cr_or_nul(read, end);
    if (after_cr && read < stop && *read == '\n') ++read;  // CR LF: the CR already stands as LF
    after_cr = false;
    const size_t run = static_cast<size_t>(stop - read);
    if (write != read) std::memmove(write, read, run);
    write += run;
    read = stop;
    if (read == end || *read == '\0') break;
    *write++ = '\n';
    ++read;
    after_cr = true;
  }
  *write = '\0';
  return static_cast<size_t>(write - text);
}

bool has_cr_or_nul(const char* text, size_t n) { return find_cr_or_nul(text, text + n) != text + n; }

void normalize_newlines(char* text) { normalize_newlines(text, std::strlen(text)); }
