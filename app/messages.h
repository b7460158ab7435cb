// The program's own texts: status lines and message boxes.
#pragma once

namespace msg {
// Status line.
extern const char kBanner[];
extern const char kFileCount[];        // %ld: the number of entries
extern const char kJoined[];           // %ld: the number of files written
// Message boxes.
extern const char kCannotOpen[];       // %s: path, %lu: error code
extern const char kCannotOpenSeparator[];  // %lu
extern const char kCannotOpenTable[];      // %lu
extern const char kCommandFailed[];    // %s: engine message, %s: command
extern const char kPathTooLong[];      // %s: the path
extern const char kTooLargeForMemory[];  // %s: the path
// Dialog titles and filters.
extern const char kAddTitle[];
extern const char kAllFilesFilter[];
extern const char kSeparatorTitle[];
extern const char kSeparatorFilter[];
extern const char kTableTitle[];
extern const char kTableFilter[];
extern const char kNotStartSOrTr[];
// The framework's own message boxes.
extern const char kProgramName[];  // their caption
extern const char kMaxChars[];     // %1: the limit
extern const char kOutOfMemory[];
extern const char kFileError[];                 // %s: path, %s: cause, %lu: error code
extern const char* const kFileErrorCauses[15];  // in the order of CFileException::Cause
}  // namespace msg
