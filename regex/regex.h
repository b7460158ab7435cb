// Regex engine: the handle record, the option bits and the entry points.
// Byte buffers in, byte buffers out; texts are Shift_JIS when OPT_KANJI is set.
//
// The contract every entry point keeps:
// - Messages: each takes a message buffer of RX_MESSAGE_SIZE bytes, empties it first
//   and, on failure, leaves one fixed English text there (never longer than 40
//   bytes). A non-empty message means failure, whatever the return value: test it
//   first. Running out of memory is a failure like any other, with its own text.
// - Nothing escapes: no exception leaves an rx_ function, whatever the input.
// - Ownership: a RegexHandle and every buffer it points to belong to the engine and
//   are released by rx_free. A result text (result_start .. result_end) belongs to
//   its handle and stays valid until the next call with that handle or rx_free; copy
//   it before then.
// - The handle slot: rx_subst and rx_trans keep the compiled command in the caller's
//   slot. The same command text in the same slot is reused without parsing; another
//   text, or a handle of the other kind, is released and replaced. The caller
//   releases the slot's handle with rx_free when done and clears the slot.
// - Threads: the engine has no global state that calls change. A handle is used by
//   one thread at a time; different handles may be used on different threads.
#pragma once

#include <cstdint>

// Option word bits.
constexpr uint32_t OPT_FOLD = 0x20;
constexpr uint32_t OPT_VERBATIM = 0x40;
constexpr uint32_t OPT_ONCE = 0x80;
constexpr uint32_t OPT_GLOBAL = 0x100;
constexpr uint32_t OPT_MULTILINE = 0x1000;
constexpr uint32_t OPT_SINGLELINE = 0x2000;
constexpr uint32_t OPT_KANJI = 0x4000;
constexpr uint32_t OPT_EXTENDED = 0x8000;
constexpr uint32_t OPT_SUBST = 0x10000;
constexpr uint32_t OPT_TRANS = 0x20000;
constexpr uint32_t OPT_COMPLEMENT = 0x40000;
constexpr uint32_t OPT_DELETE = 0x80000;
constexpr uint32_t OPT_SQUEEZE = 0x100000;

// Bits of RegexHandle::anchor_flags.
constexpr uint8_t ANCHOR_BOL = 1;
constexpr uint8_t ANCHOR_SKIP = 2;
constexpr uint8_t ANCHOR_IMPLICIT = 4;

// Every message the engine writes fits in this many bytes with its NUL.
constexpr int RX_MESSAGE_SIZE = 80;

struct LiteralBuf;
struct ReplacementList;
struct ClassTables;

// One parsed command. For a match or substitution the record and its program are
// one allocation (the program follows the record); every pointer marked "owned" is
// released by rx_free. All blocks are obtained with malloc.
struct RegexHandle {
  unsigned char* result_start;        // owned, NUL-terminated result of the last call
  unsigned char* result_end;
  unsigned char* command_start;       // owned copy of the command with its NUL
  unsigned char* command_end;
  uint16_t* trans_table;              // owned, transliteration handles only
  const unsigned char** match_starts; // owned, group_count + 1 entries
  const unsigned char** match_ends;   // owned, group_count + 1 entries
  int32_t group_count;
  int32_t last_group;
  LiteralBuf* first_literal;          // owned: every match starts with it
  const unsigned char* first_node;    // into program: every match starts with this node
  LiteralBuf* must_literal;           // owned: every match contains it
  int32_t must_offset;                // distance from the match start, -1 when not fixed
  int32_t min_length;
  int32_t pattern_length;
  unsigned char* pattern_copy;        // owned, NUL-terminated
  unsigned char* subject_copy;        // owned, stays null in this system
  const unsigned char* subject_begin;
  const unsigned char* subject_end;
  uint32_t flags;                     // caller's option word plus kind bits
  int32_t expensive;
  unsigned char* replacement_start;   // into the command copy
  unsigned char* replacement_end;
  ReplacementList* replacement;       // owned
  uint8_t anchor_flags;
  uint8_t fold;
  uint8_t start_known;                // start_bits holds every byte a match can start with
  uint8_t start_bits[32];             // bit b: a match may start with byte b (folded text)
  ClassTables* class_tables;          // owned: single-byte bitmaps of the CLASS nodes
  int32_t program_length;             // bytes of program (0 without one)
  unsigned char program[];            // compiled program, two spare zero bytes after it
};

// Compiles [pattern, pattern_end) (not NUL-terminated) under *options.
// Returns a new handle owned by the caller (release with rx_free); the caller's
// option word gains the bits of inline modifiers. An empty pattern gives a handle
// without a program (pattern_length 0). Failure, out of memory included: null and
// the message.
RegexHandle* rx_compile(const char* pattern, const char* pattern_end, uint32_t* options,
                        char* message) noexcept;

// Finds the leftmost match starting at or after start in [start, end); the byte at end
// must be 0x00. base is the start of the whole subject (what lies before start is
// read for ^, \b and \G). min_end: a match must end at least that many bytes after
// start. Returns 1 on a match: match_starts / match_ends point into the caller's
// text (null for a group that took no part) and stay valid as long as the text.
// Returns 0 on no match (empty message) and on failure, out of memory included (the
// message; the group arrays are then unspecified, the handle stays usable). The
// message buffer may be null.
int rx_exec(RegexHandle* handle, const char* start, const char* end, const char* base,
            int min_end, char* message) noexcept;

// Parses a command (m/../, s/../../, tr/../../ with flags) of length bytes into a new
// handle owned by the caller. Failure: null and the message; null with an empty
// message when a transliteration's search list is empty.
RegexHandle* rx_precompile(const char* command, int length, char* message) noexcept;

// Runs a match or substitution command over [target_start, target_end) (the byte at
// target_end must be 0x00). command may be null or empty to run the slot's handle
// again. Returns:
// - substitution: the number of replacements; 0 when nothing matched (no result
//   text). The new text is the handle's result; no result with a positive count
//   means the whole target was replaced by nothing;
// - match: 1 when it matched (group 1's text, when not empty, is the result), 0 not;
// - -1 with an empty message: not run (empty pattern, or no message buffer);
// - failure (bad command, empty target, matcher gave up, out of memory): the
//   message, with -1, or with 0 or the count so far when the substitution itself
//   failed (the result then holds what was replaced before the failure).
int rx_subst(const char* command, const char* target_start, const char* target_end,
             RegexHandle** slot, char* message) noexcept;

// Runs a transliteration command over the target, as rx_subst does. Returns the
// number of characters found in the search list (outside it with c), the new text
// being the handle's result; -1 with an empty message when not run; -1 and the
// message on failure.
int rx_trans(const char* command, const char* target_start, const char* target_end,
             RegexHandle** slot, char* message) noexcept;

// Releases the handle and everything it owns, result text included; null is accepted.
void rx_free(RegexHandle* handle) noexcept;
