// Commands: parsing m//, s/// and tr/// into a handle, and the two entry points that
// run them over a target, reusing the caller's handle while the command is the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "regex/internal.h"

namespace regex_internal {
namespace {

using uchar = unsigned char;

enum class Kind { Match, Subst, Trans };

uint32_t flag_bit(uchar c) {
  switch (c) {
    case 'i': return OPT_FOLD;
    case 'o': return OPT_ONCE;
    case 'g': return OPT_GLOBAL;
    case 'm': return OPT_MULTILINE;
    case 'k': return OPT_KANJI;
    case 'c': return OPT_COMPLEMENT;
    case 'd': return OPT_DELETE;
    case 's': return OPT_SQUEEZE;
    default: return 0;  // any other byte is ignored
  }
}

struct FreeBytes {
  void operator()(uchar* p) const noexcept { std::free(p); }
};

RegexHandle* precompile(const uchar* command, size_t length, char* message) {
  if (command == nullptr) raise(kMsgNullArgument);
  std::unique_ptr<uchar, FreeBytes> copy(static_cast<uchar*>(rx_malloc(length + 1)));
  if (!copy) raise(kMsgPrecompileOutOfSpace);
  if (length) std::memcpy(copy.get(), command, length);
  copy.get()[length] = 0;
  const uchar* const c = copy.get();
  const uchar* const end = c + length;

  Kind kind;
  size_t delimiter_at;
  if (length >= 1 && c[0] == '/') {
    kind = Kind::Match;
    delimiter_at = 0;
  } else if (length >= 1 && c[0] == 's') {
    kind = Kind::Subst;
    delimiter_at = 1;
  } else if (length >= 1 && c[0] == 'm') {
    kind = Kind::Match;
    delimiter_at = 1;
  } else if (length >= 2 && c[0] == 't' && c[1] == 'r') {
    kind = Kind::Trans;
    delimiter_at = 2;
  } else {
    raise(kMsgBadStart);
  }
  if (delimiter_at + 1 >= length) raise(kMsgUnmatchSeparator);
  const uchar delimiter = c[delimiter_at];
  const uchar* const first = c + delimiter_at + 1;

  // Find the two delimiters that end the first and the second part. A backslash
  // escapes the delimiter and '/', and a double-byte character is never split.
  const uchar* first_end = nullptr;
  const uchar* second_end = nullptr;
  int prev = -1;
  const uchar* p = first;
  while (p < end) {
    const uchar b = *p;
    if (is_lead_byte(b)) {
      if (p + 1 >= end) break;
      p += 2;
      prev = -1;
      continue;
    }
    if (prev == '\\' && (b == '\\' || b == '/')) {
      prev = -1;
    } else if (b == delimiter && prev != '\\') {
      if (!first_end) {
        first_end = p;
      } else {
        second_end = p;
        break;
      }
    } else {
      prev = b;
    }
    ++p;
  }
  if (!first_end) raise(kMsgUnmatchSeparator);
  if (!second_end && kind != Kind::Match) raise(kMsgUnmatchSeparator);

  uint32_t options = 0;
  for (const uchar* f = (second_end ? second_end : first_end) + 1; f < end; ++f) options |= flag_bit(*f);

  HandlePtr handle;
  if (kind == Kind::Trans) {
    handle.reset(trans_compile(first, first_end, first_end + 1, second_end, &options, message));
  } else {
    handle.reset(rx_compile(reinterpret_cast<const char*>(first), reinterpret_cast<const char*>(first_end),
                            &options, message));
  }
  if (!handle) return nullptr;

  handle->command_start = copy.release();
  handle->command_end = handle->command_start + length;
  if (kind == Kind::Subst) {
    handle->flags |= OPT_SUBST;
    handle->replacement_start = handle->command_start + (first_end + 1 - c);
    handle->replacement_end = handle->command_start + (second_end - c);
    handle->replacement = replace_compile(handle.get(), handle->replacement_start, handle->replacement_end);
  } else if (kind == Kind::Trans) {
    handle->flags |= OPT_TRANS;
  }
  return handle.release();
}

bool is_trans(const RegexHandle* h) { return (h->flags & OPT_TRANS) != 0; }

bool same_command(const RegexHandle* h, const char* command, size_t length) {
  return h->command_start && static_cast<size_t>(h->command_end - h->command_start) == length &&
         std::memcmp(h->command_start, command, length) == 0;
}

void drop_result(RegexHandle* h) {
  std::free(h->result_start);
  h->result_start = nullptr;
  h->result_end = nullptr;
}

// Steps shared by both entry points: the parameter checks and the handle the call
// works with, reused from the slot or parsed anew. Null means the call ends with -1.
RegexHandle* prepare(const char* command, const char* target_start, const char* target_end, RegexHandle** slot,
                     char* message, bool trans) {
  if (slot == nullptr) raise(kMsgInvalidHandle);
  if (target_start == nullptr || target_end == nullptr || !(target_start < target_end)) raise(kMsgInvalidTarget);
  RegexHandle* h = *slot;
  if (command != nullptr && command[0] != '\0') {
    const size_t length = std::strlen(command);
    if (!(h && is_trans(h) == trans && same_command(h, command, length))) {
      rx_free(h);
      *slot = nullptr;
      h = precompile(reinterpret_cast<const uchar*>(command), length, message);
      if (!h) return nullptr;
      *slot = h;
    }
  } else if (h == nullptr) {
    raise(kMsgInvalidReg);
  }
  drop_result(h);
  return h;
}

// failed is what a failure returns: -1, but 0 once the substitution itself runs.
int run_subst(const char* command, const char* target_start, const char* target_end, RegexHandle** slot,
              char* message, int& failed) {
  RegexHandle* h = prepare(command, target_start, target_end, slot, message, false);
  if (!h || h->pattern_length == 0) return -1;
  const auto* ts = reinterpret_cast<const uchar*>(target_start);
  const auto* te = reinterpret_cast<const uchar*>(target_end);
  if (h->flags & OPT_SUBST) {
    failed = 0;
    return subst_run(h, ts, te, failed);
  }

  // A matcher error raises and ends the call with -1 and its message.
  const int matched = exec_match(h, ts, te, ts, 0, nullptr);
  if (matched && h->group_count >= 1) {
    const uchar* s = h->match_starts[1];
    const uchar* e = h->match_ends[1];
    if (s && e && s < e) {
      auto* text = static_cast<uchar*>(rx_malloc(static_cast<size_t>(e - s) + 1));
      if (!text) raise(kMsgMatchOutOfSpace);
      std::memcpy(text, s, static_cast<size_t>(e - s));
      text[e - s] = 0;
      h->result_start = text;
      h->result_end = text + (e - s);
    }
  }
  return matched;
}

int run_trans(const char* command, const char* target_start, const char* target_end, RegexHandle** slot,
              char* message) {
  RegexHandle* h = prepare(command, target_start, target_end, slot, message, true);
  if (!h) return -1;
  if (!is_trans(h)) {
    rx_free(h);
    *slot = nullptr;
    raise(kMsgNoTranslate);
  }
  return trans_apply(h, reinterpret_cast<const uchar*>(target_start), reinterpret_cast<const uchar*>(target_end),
                     message);
}

}  // namespace
}  // namespace regex_internal

RegexHandle* rx_precompile(const char* command, int length, char* message) noexcept {
  using namespace regex_internal;
  return guard_entry<RegexHandle*>(message, nullptr, kMsgPrecompileOutOfSpace, [&] {
    if (length < 0) raise(kMsgNullArgument);
    return precompile(reinterpret_cast<const unsigned char*>(command), static_cast<size_t>(length), message);
  });
}

int rx_subst(const char* command, const char* target_start, const char* target_end, RegexHandle** slot,
             char* message) noexcept {
  using namespace regex_internal;
  if (message == nullptr) return -1;
  int failed = -1;
  return guard_entry(message, failed, kMsgLackOfMemory,
                     [&] { return run_subst(command, target_start, target_end, slot, message, failed); });
}

int rx_trans(const char* command, const char* target_start, const char* target_end, RegexHandle** slot,
             char* message) noexcept {
  using namespace regex_internal;
  if (message == nullptr) return -1;
  return guard_entry(message, -1, kMsgLackOfMemory,
                     [&] { return run_trans(command, target_start, target_end, slot, message); });
}
