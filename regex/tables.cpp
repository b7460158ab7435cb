// Tables built once per compile so that the matcher tests bytes, not class lists:
// a bitmap per CLASS node and the set of bytes a match can start with.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "regex/internal.h"
#include "regex/program.h"

namespace regex_internal {
namespace {

using uchar = unsigned char;

struct Bits {
  uchar v[32] = {};
  void set(unsigned b) { v[b >> 3] |= static_cast<uchar>(1u << (b & 7)); }
  void set_all() { std::memset(v, 0xFF, sizeof v); }
  template <typename Pred>
  void set_if(Pred p) {
    for (unsigned b = 0; b < 256; ++b)
      if (p(b)) set(b);
  }
};

bool word_byte(unsigned b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_';
}
bool space_byte(unsigned b) { return b == 0x20 || (b >= 0x09 && b <= 0x0D); }
bool digit_byte(unsigned b) { return b >= '0' && b <= '9'; }

constexpr Bits make_lead_bits() {
  Bits b{};
  for (unsigned c = 0; c < 256; ++c)
    if (lead_byte_value(c)) b.v[c >> 3] = static_cast<uchar>(b.v[c >> 3] | 1u << (c & 7));
  return b;
}
constexpr Bits kLeadBits = make_lead_bits();

// In double-byte mode, the lead bytes of the characters of two bytes a class accepts.
void set_class_leads(const uchar* node, Bits& bits) {
  if (node[3] == CLASS_NEGATED) {
    for (int i = 0; i < 32; ++i) bits.v[i] |= kLeadBits.v[i];
    return;
  }
  auto leads = [&](unsigned low, unsigned high) {
    if (high < 256) return;
    for (unsigned c = low >> 8; c <= high >> 8; ++c)
      if (lead_byte_value(c)) bits.set(c);
  };
  for (const uchar* p = node + 4; *p != CLASS_END;) {
    if (*p == CLASS_SINGLE) {
      leads(read16be(p + 1), read16be(p + 1));
      p += 3;
    } else if (*p == CLASS_RANGE) {
      leads(read16be(p + 1), read16be(p + 3));
      p += 5;
    } else {
      ++p;
    }
  }
}

// Collects the bytes the node sequence from node can consume first. False when it
// may match nothing at all, or when the walk is too long to be worth it.
class StartWalk {
 public:
  StartWalk(const RegexHandle* h, Bits& bits) : h_(h), bits_(bits), kanji_((h->flags & OPT_KANJI) != 0) {}

  bool walk(const uchar* node) {
    while (node) {
      if (++visits_ > 20000) return false;
      const uchar op = node[0];
      switch (op) {
        case END:
        case SUCCEED:
        case BACKREF:
          return false;
        case BRANCH: {
          const uchar* next = next_node(node);
          if (!next || next[0] != BRANCH) {
            node += 4;
            continue;
          }
          for (const uchar* b = node; b && b[0] == BRANCH; b = next_node(b))
            if (!walk(b + 4)) return false;
          return true;
        }
        case STAR:
          one_char(node + 4);
          node = next_node(node);
          continue;
        case PLUS:
          one_char(node + 4);
          return true;
        case REPEAT:
          one_char(node + 8);
          if (repeat_min(node) > 0) return true;
          node = next_node(node);
          continue;
        case REPEAT_X:
          if (repeat_min(node) == 0 && !walk(next_node(node))) return false;
          node += 8;
          continue;
        case REPEAT_LOOP:
          node += 4;  // the body can match nothing: the loop may end here
          continue;
        case EXACT:
        case CLASS:
        case ANY:
        case ANY_S:
        case WORD:
        case NWORD:
        case SPACE:
        case NSPACE:
        case DIGIT:
        case NDIGIT:
          one_char(node);
          return true;
        default:
          // Zero-width nodes and group marks: what follows decides.
          if (op >= OPCODE_COUNT) return false;
          node = next_node(node);
          continue;
      }
    }
    return false;
  }

 private:
  void one_char(const uchar* node) {
    switch (node[0]) {
      case EXACT:
        bits_.set(node[4]);
        break;
      case ANY:
        bits_.set_if([](unsigned b) { return b != '\n'; });
        break;
      case ANY_S:
        bits_.set_all();
        break;
      case WORD:
        bits_.set_if(word_byte);
        break;
      case SPACE:
        bits_.set_if(space_byte);
        break;
      case DIGIT:
        bits_.set_if(digit_byte);
        break;
      case NWORD:
        bits_.set_if([](unsigned b) { return !word_byte(b); });
        break;
      case NSPACE:
        bits_.set_if([](unsigned b) { return b != 0 && !space_byte(b); });
        break;
      case NDIGIT:
        bits_.set_if([](unsigned b) { return !digit_byte(b); });
        break;
      case CLASS: {
        const uchar* own = class_bits_for(h_, node);
        for (unsigned b = 0; b < 256; ++b)
          if (own && bit_set(own, b)) bits_.set(b);
        if (kanji_) set_class_leads(node, bits_);
        break;
      }
      default:
        bits_.set_all();
        break;
    }
  }

  const RegexHandle* h_;
  Bits& bits_;
  bool kanji_;
  int visits_ = 0;
};

}  // namespace

const ClassTables::Entry* class_entry_for(const RegexHandle* h, const unsigned char* node) {
  const ClassTables* t = h->class_tables;
  if (!t) return nullptr;
  const int32_t offset = static_cast<int32_t>(node - h->program);
  int32_t low = 0, high = t->count;
  while (low < high) {
    const int32_t mid = (low + high) / 2;
    if (t->entries[mid].offset < offset)
      low = mid + 1;
    else
      high = mid;
  }
  return low < t->count && t->entries[low].offset == offset ? &t->entries[low] : nullptr;
}

const unsigned char* class_bits_for(const RegexHandle* h, const unsigned char* node) {
  const ClassTables::Entry* e = class_entry_for(h, node);
  return e ? e->bits : nullptr;
}

void build_match_tables(RegexHandle* h) {
  const uchar* const program = h->program;
  const uchar* const limit = program + h->program_length;
  const bool kanji = (h->flags & OPT_KANJI) != 0;
  int32_t classes = 0;
  for (const uchar* n = program + 1; n < limit;) {
    if ((n - program) % 2 == 0) {
      ++n;
      continue;
    }
    const int span = node_span(n, limit);
    if (span == 0) raise(kMsgFatal);
    if (n[0] == CLASS) ++classes;
    n += span;
  }
  if (classes > 0) {
    auto* t = static_cast<ClassTables*>(
        rx_calloc(1, sizeof(ClassTables) + static_cast<size_t>(classes) * sizeof(ClassTables::Entry)));
    if (!t) raise(kMsgLackOfMemory);
    h->class_tables = t;
    for (const uchar* n = program + 1; n < limit;) {
      if ((n - program) % 2 == 0) {
        ++n;
        continue;
      }
      if (n[0] == CLASS) {
        ClassTables::Entry& e = t->entries[t->count++];
        e.offset = static_cast<int32_t>(n - program);
        // A code is accepted when some item holds it, or, negated, when none does.
        Bits held;
        for (const uchar* p = n + 4; *p != CLASS_END;) {
          if (*p == CLASS_SINGLE) {
            if (read16be(p + 1) < 256) held.set(read16be(p + 1));
            p += 3;
          } else if (*p == CLASS_RANGE) {
            for (unsigned c = read16be(p + 1), hi = std::min(read16be(p + 3), 255u); c <= hi; ++c)
              held.set(c);
            p += 5;
          } else {
            ++p;
          }
        }
        for (int i = 0; i < 32; ++i)
          e.bits[i] = n[3] == CLASS_NEGATED ? static_cast<uchar>(~held.v[i]) : held.v[i];
        uchar single[32];
        for (int i = 0; i < 32; ++i) single[i] = kanji ? e.bits[i] & ~kLeadBits.v[i] : e.bits[i];
        e.run = byte_ranges(single);
      }
      n += node_span(n, limit);
    }
  }
  Bits start;
  StartWalk walk(h, start);
  if (walk.walk(program + 1)) {
    h->start_known = 1;
    std::memcpy(h->start_bits, start.v, sizeof start.v);
  }
}

}  // namespace regex_internal
