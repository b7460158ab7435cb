// Regex engine: the handle record, the option bits and the entry points.
// Byte buffers in, byte buffers out; texts are Shift_JIS when OPT_KANJI is set.
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

// Compiles [pattern, pattern_end) (not NUL-terminated) under *options. On success the
// caller's word gains the bits of inline modifiers. Null with a message on failure.
RegexHandle* rx_compile(const char* pattern, const char* pattern_end, uint32_t* options,
                        char* message) noexcept;

// Finds the leftmost match starting at or after start in [start, end); the byte at end
// must be 0x00. base is the start of the whole subject. Returns 1 on a match, 0 on none
// or on an error (then message holds the text).
int rx_exec(RegexHandle* handle, const char* start, const char* end, const char* base,
            int min_end, char* message) noexcept;

// Command-level entry points.
RegexHandle* rx_precompile(const char* command, int length, char* message) noexcept;
int rx_subst(const char* command, const char* target_start, const char* target_end,
             RegexHandle** slot, char* message) noexcept;
int rx_trans(const char* command, const char* target_start, const char* target_end,
             RegexHandle** slot, char* message) noexcept;

// Releases the handle and everything it owns; null is accepted.
void rx_free(RegexHandle* handle) noexcept;
