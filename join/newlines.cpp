// Line ends to LF: CR LF and lone CR become LF.
#include <cstring>

#include "join/join.h"

size_t normalize_newlines(char* text, size_t n) {
  // The write position never passes the read position, so the text is
  // rewritten over itself. A CR becomes LF at once; an LF right after a CR
  // is then absorbed into it.
  const char* end = static_cast<const char*>(std::memchr(text, '\0', n));
  if (end == nullptr) end = text + n;
  const char* read = text;
  char* write = text;
  bool after_cr = false;
  while (read < end) {
    const char* cr = static_cast<const char*>(std::memchr(read, '\r', static_cast<size_t>(end - read)));
    const char* stop = cr ? cr : end;
    if (after_cr && read < stop && *read == '\n') ++read;  // CR LF: the CR already stands as LF
    after_cr = false;
    size_t run = static_cast<size_t>(stop - read);
    if (write != read) std::memmove(write, read, run);
    write += run;
    read = stop;
    if (cr) {
      *write++ = '\n';
      ++read;
      after_cr = true;
    }
  }
  *write = '\0';
  return static_cast<size_t>(write - text);
}

void normalize_newlines(char* text) { normalize_newlines(text, std::strlen(text)); }
