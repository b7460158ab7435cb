// Literal buffers, the two literal searches and the Shift_JIS boundary test.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "regex/internal.h"

namespace regex_internal {

void copy_message(char* message, const char* text) noexcept {
  if (message == nullptr) return;
  if (text == nullptr) text = kMsgFatal;
  size_t n = std::strlen(text);
  if (n > RX_MESSAGE_SIZE - 1) n = RX_MESSAGE_SIZE - 1;
  std::memcpy(message, text, n);
  message[n] = '\0';
}

int char_position(const unsigned char* start, const unsigned char* pos) {
  if (start == nullptr || pos == nullptr) return 0;
  // A run of lead bytes pairs up from its start: an odd run before pos means pos
  // is the trail byte of the run's last pair.
  const unsigned char* p = pos;
  while (p > start && is_lead_byte(p[-1])) --p;
  if ((pos - p) & 1) return 2;
  return is_lead_byte(*pos) ? 1 : 0;
}

unsigned char* copy_bytes(const unsigned char* source, size_t count) {
  if (count == SIZE_MAX) raise(kMsgOutOfSpaceSavepvn);
  auto* copy = static_cast<unsigned char*>(rx_malloc(count + 1));
  if (!copy) raise(kMsgOutOfSpaceSavepvn);
  if (count) std::memcpy(copy, source, count);
  copy[count] = 0;
  return copy;
}

LiteralBuf* literal_new(const unsigned char* bytes, int32_t count) {
  if (count == 0 && bytes) count = static_cast<int32_t>(std::strlen(reinterpret_cast<const char*>(bytes)));
  auto* b = static_cast<LiteralBuf*>(rx_calloc(1, sizeof(LiteralBuf)));
  if (!b) raise(kMsgLackOfMemory);
  LiteralPtr owner(b);
  literal_set(b, bytes, count);
  return owner.release();
}

void literal_free(LiteralBuf* buffer) noexcept {
  if (!buffer) return;
  std::free(buffer->data);
  std::free(buffer);
}

void literal_reserve(LiteralBuf* buffer, size_t request) {
  if (request <= static_cast<size_t>(buffer->capacity)) return;
  if (request > static_cast<size_t>(INT32_MAX) - 512) raise(kMsgLackOfMemory);
  size_t capacity = request + 512;
  auto* block = static_cast<unsigned char*>(rx_malloc(capacity));
  if (!block) raise(kMsgLackOfMemory);
  if (buffer->data && buffer->length > 0) std::memcpy(block, buffer->data, buffer->length);
  block[buffer->length] = 0;
  std::free(buffer->data);
  buffer->data = block;
  buffer->capacity = static_cast<int32_t>(capacity);
}

void literal_set(LiteralBuf* buffer, const unsigned char* bytes, int32_t count) {
  if (count < 0) raise(kMsgFatal);
  literal_reserve(buffer, std::max<size_t>(static_cast<size_t>(count) + 1, 512));
  if (count) std::memmove(buffer->data, bytes, count);
  buffer->length = count;
  buffer->data[count] = 0;
}

int32_t literal_append(LiteralBuf* buffer, const unsigned char* bytes, int32_t count) {
  if (count < 0) raise(kMsgFatal);
  literal_reserve(buffer, static_cast<size_t>(buffer->length) + count + 1);
  if (count) std::memmove(buffer->data + buffer->length, bytes, count);
  buffer->length += count;
  buffer->data[buffer->length] = 0;
  return buffer->length;
}

void literal_copy(LiteralBuf* destination, const LiteralBuf* source) {
  if (destination == source) return;
  literal_reserve(destination, static_cast<size_t>(source->length) + 1);
  if (source->length) std::memcpy(destination->data, source->data, source->length);
  destination->length = source->length;
  destination->data[source->length] = 0;
  destination->flags = source->flags;
}

void literal_mark(LiteralBuf* buffer) {
  if ((buffer->flags & 0xFF) != LB_SEARCHABLE) buffer->flags |= LB_SEARCHABLE;
}

void literal_build_table(LiteralBuf* buffer, bool fold) {
  int32_t length = buffer->length;
  if (length > 255) return;
  literal_reserve(buffer, static_cast<size_t>(length) + 258);
  unsigned char* table = buffer->data + length + 1;
  std::memset(table, length, 256);
  for (int32_t d = 0; d < length; ++d) {
    unsigned char c = buffer->data[length - 1 - d];
    if (table[c] == length) {
      table[c] = static_cast<unsigned char>(d);
      if (fold) table[fold_case.v[c]] = static_cast<unsigned char>(d);
    }
  }
  literal_mark(buffer);
  buffer->flags |= LB_TABLE;
  if (fold) buffer->flags |= LB_TABLE_FOLDED;
}

namespace {

bool same_bytes(const unsigned char* s, const unsigned char* lit, int32_t n, bool folded) {
  for (int32_t i = 0; i < n; ++i) {
    unsigned char x = s[i], y = lit[i];
    if (x != y && !(folded && fold_case.v[x] == y)) return false;
  }
  return true;
}

const unsigned char* table_search(const unsigned char* big, const unsigned char* from,
                                  const unsigned char* bigend, const LiteralBuf* little, bool dbcs) {
  const int32_t length = little->length;
  if (length > bigend - from) return nullptr;
  const unsigned char* text = little->data;
  const unsigned char* table = text + length + 1;
  const bool folded = (little->flags & LB_TABLE_FOLDED) != 0;
  const unsigned char* s = from + length - 1;
  LeadRuns runs(big);
  while (s < bigend) {
    unsigned t = table[*s];
    if (t > 0) {
      s += t;
      continue;
    }
    const unsigned char* candidate = s - (length - 1);
    if (same_bytes(candidate, text, length - 1, folded) && !(dbcs && runs.inside(candidate)))
      return candidate;
    ++s;
  }
  return nullptr;
}

bool tail_candidate(const unsigned char* big, const unsigned char* s, const LiteralBuf* little, bool dbcs) {
  return *s == little->data[0] && !(dbcs && char_position(big, s) == 2) &&
         std::memcmp(s, little->data, little->length) == 0;
}

}  // namespace

bool literal_by_pair(const LiteralBuf* little, bool multiline, bool& folded) {
  folded = false;
  if (little->length == 0) return false;
  if ((little->flags & 0xFF) != LB_SEARCHABLE || !(little->flags & LB_TABLE)) return true;
  if ((little->flags & LB_TAIL) && !multiline) return false;
  // A byte-mode search matches bytes anywhere, as the matcher does: only in double-byte mode
  // must a candidate begin a character.
  folded = (little->flags & LB_TABLE_FOLDED) != 0;
  return true;
}

const unsigned char* literal_find(const unsigned char* big, const unsigned char* bigend,
                                  const LiteralBuf* little, bool multiline, bool dbcs) {
  const int32_t length = little->length;
  const unsigned char* text = little->data;
  bool folded;
  if (literal_by_pair(little, multiline, folded)) return pair_find(big, bigend, text, length, dbcs, folded);
  if (length == 0) return big;
  // A tail literal without multi-line mode can only end the text (or its last line).
  if (length > bigend - big) return nullptr;
  const bool newline_end = bigend[-1] == '\n' && text[length - 1] != '\n';
  if (little->flags & LB_TABLE_FOLDED) {
    const unsigned char* from = bigend - length;
    if (newline_end && from > big) --from;
    return table_search(big, from, bigend, little, dbcs);
  }
  const unsigned char* s = bigend - length;
  if (tail_candidate(big, s, little, dbcs)) return s;
  if (newline_end && s > big && s[-1] == text[0] && tail_candidate(big, s - 1, little, dbcs)) return s - 1;
  return nullptr;
}

}  // namespace regex_internal
