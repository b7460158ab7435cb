// The product's own texts, shared by the dialog and tavvel-cli: status lines
// and messages.
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
}  // namespace msg
