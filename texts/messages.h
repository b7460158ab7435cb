// The product's own texts, shared by the dialog and tavvel-cli: status lines,
// messages, and the wording of what a join reports.
#pragma once

#include <cstdint>

#include "framework/cstring.h"
#include "framework/file.h"
#include "join/join.h"

namespace msg {
// Status line.
extern const char kBanner[];
extern const char kFileCount[];  // %ld: the number of entries
extern const char kJoined[];     // %ld: the number of files written
// Message boxes.
extern const char kListEmpty[];            // the string table's text, for tavvel-cli
extern const char kCannotOpen[];           // %s: path, %lu: error code
extern const char kCannotOpenSeparator[];  // %lu
extern const char kCannotOpenTable[];      // %lu
extern const char kCommandFailed[];        // %s: engine message, %s: command
extern const char kPathTooLong[];          // %s: the path
extern const char kTooLargeForMemory[];    // %s: the path
extern const char kSourceCutShort[];
extern const char kFileFailed[];           // %s: path, %s: cause, %lu: error code
extern const char kReplaced[];             // %s: path, %lu: characters, %lu: line of the first
// Dialog titles and filters.
extern const char kAddTitle[];
extern const char kAllFilesFilter[];
extern const char kSeparatorTitle[];
extern const char kSeparatorFilter[];
extern const char kTableTitle[];
extern const char kTableFilter[];
// The framework's own message boxes.
extern const char kProgramName[];  // their caption
extern const char kMaxChars[];     // %1: the limit
extern const char kOutOfMemory[];
extern const char* const kFileErrorCauses[15];  // in the order of CFileException::Cause

// Hands the framework its texts (captions, the data exchange limit, file
// errors); each front end does it once before its first message.
void InstallFrameworkTexts();

// The texts of a join's reports, worded once for both front ends.
CString CannotOpenText(const char* path, uint32_t error);
CString NoticeText(const JoinNotice& notice);
CString FileFailedText(const CFileException& failure);
CString TooLargeText(const char* path);
CString ReplacedText(const char* path, size_t count, size_t first_line);
CString PathTooLongText(const char* path);
CString JoinedText(int32_t joined);
}  // namespace msg
