// Every fixed message text the regex engine reports. Each fits in 40 bytes.
#pragma once

namespace regex_internal {

// Work buffers.
inline constexpr const char kMsgLackOfMemory[] = "lack of memory";
inline constexpr const char kMsgOutOfSpaceSavepvn[] = "out of space savepvn";
inline constexpr const char kMsgFatal[] = "fatal error";

// Compiler.
inline constexpr const char kMsgNullArgument[] = "NULL argument";
inline constexpr const char kMsgTooBig[] = "too big compile";
inline constexpr const char kMsgOutOfSpaceRegexp[] = "out of space regexp";
inline constexpr const char kMsgOutOfSpaceStartp[] = "out of space startp";
inline constexpr const char kMsgOutOfSpaceEndp[] = "out of space endp";

// Parser. The %c is part of the text; it is never filled in.
inline constexpr const char kMsgUnmatchedParen[] = "unmatched () in regexp";
inline constexpr const char kMsgCommentOpen[] = "Sequence (?#... not terminated";
inline constexpr const char kMsgNotImplemented[] = "Sequence (?%c...) not implemented";
inline constexpr const char kMsgNotRecognized[] = "Sequence (?%c...) not recognized";
inline constexpr const char kMsgBadCount[] = "Can't do {n,m} with n > m";
inline constexpr const char kMsgCountTooBig[] = "{n,m} count above 32766 in regexp";
inline constexpr const char kMsgNested[] = "nested *?+ in regexp";
inline constexpr const char kMsgFollowsNothing[] = "?+* follows nothing";
inline constexpr const char kMsgTrailingBackslash[] = "trailing \\ in regexp";
inline constexpr const char kMsgUnmatchedBracket[] = "unmatched [] in regexp";
inline constexpr const char kMsgBadRange[] = "invalid [] range in regexp";

// Matcher.
inline constexpr const char kMsgCorruptProgram[] = "corrupted regexp program";
inline constexpr const char kMsgCorruptPointers[] = "corrupted regexp pointers";
inline constexpr const char kMsgMemoryCorruption[] = "regexp memory corruption";
inline constexpr const char kMsgTooComplex[] = "regexp match too complex";

// Commands, substitution and transliteration.
inline constexpr const char kMsgInvalidHandle[] = "invalid handle parameter";
inline constexpr const char kMsgInvalidTarget[] = "invalid target parameter";
inline constexpr const char kMsgInvalidReg[] = "invalid reg parameter";
inline constexpr const char kMsgPrecompileOutOfSpace[] = "precompile out of space";
inline constexpr const char kMsgBadStart[] = "do not start 'm' or 's' or 'tr'";
inline constexpr const char kMsgUnmatchSeparator[] = "unmatch separater";
inline constexpr const char kMsgMatchOutOfSpace[] = "match out of space";
inline constexpr const char kMsgNoTranslate[] = "no translate parameter";
inline constexpr const char kMsgOutOfSpaceBuf[] = "out of space buf";
inline constexpr const char kMsgSubstLoop[] = "Substitution loop";
inline constexpr const char kMsgOutOfSpaceTrcomp[] = "out of space trcomp";

// Every text fits the 40 bytes callers may count on.
constexpr bool fits_forty_bytes(const char* const* texts, int count) {
  for (int i = 0; i < count; ++i) {
    int n = 0;
    while (texts[i][n] != '\0') ++n;
    if (n > 40) return false;
  }
  return true;
}
// clang-format off
inline constexpr const char* kAllMessages[] = {
    kMsgLackOfMemory,        kMsgOutOfSpaceSavepvn, kMsgFatal,          kMsgNullArgument,     kMsgTooBig,
    kMsgOutOfSpaceRegexp,    kMsgOutOfSpaceStartp,  kMsgOutOfSpaceEndp, kMsgUnmatchedParen,   kMsgCommentOpen,
    kMsgNotImplemented,      kMsgNotRecognized,     kMsgBadCount,       kMsgCountTooBig,      kMsgNested,
    kMsgFollowsNothing,      kMsgTrailingBackslash, kMsgUnmatchedBracket, kMsgBadRange,       kMsgCorruptProgram,
    kMsgCorruptPointers,     kMsgMemoryCorruption,  kMsgTooComplex,     kMsgInvalidHandle,    kMsgInvalidTarget,
    kMsgInvalidReg,          kMsgPrecompileOutOfSpace, kMsgBadStart,    kMsgUnmatchSeparator, kMsgMatchOutOfSpace,
    kMsgNoTranslate,         kMsgOutOfSpaceBuf,     kMsgSubstLoop,      kMsgOutOfSpaceTrcomp,
};
// clang-format on
static_assert(fits_forty_bytes(kAllMessages, sizeof kAllMessages / sizeof kAllMessages[0]));

}  // namespace regex_internal
