// The source list's paths as plain functions: the form a path takes in the
// list, the walk that expands a folder into its files, and the two sorts.
// Nothing here shows a message; refusals are handed to the caller.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "framework/cstring.h"

// Lowers the ASCII capitals of a NUL-terminated path in place; the bytes of
// Shift_JIS double-byte characters stay as they are. Returns the number of
// letters changed, or -1 when a lead byte stands just before the terminator.
int LowerAsciiPath(char* path);

// Whether paths name files case-insensitively here, so that list entries and
// the ini path are stored lowered (Windows), or keep their case (elsewhere).
#if defined(_WIN32)
inline constexpr bool kPathsIgnoreCase = true;
#else
inline constexpr bool kPathsIgnoreCase = false;
#endif

// The longest path a list entry, the ini file or a dialog answer may have:
// paths pass through 260-byte buffers.
inline constexpr size_t kMaxPathBytes = 259;

// The form path takes as a list entry (lowered where paths ignore case).
// Returns false, leaving *entry alone, when the path is longer than
// kMaxPathBytes: cutting it would name another file, so it is refused whole.
bool ListEntryForm(const CString& path, CString* entry);

// Expands folder into the files under it that match mask ("*.*": all),
// depth first and in the order the file system lists them, so a sub-folder's
// files stand where the sub-folder was met. "." and ".." are skipped, hidden
// files are not. A folder reached again through a link while it is being
// walked is not walked again, so every walk ends. Each file is handed to
// add_file as folder, separator, name. A folder whose search pattern would
// not fit a path buffer and that cannot be listed is handed to refuse_folder
// and the walk goes on. Runs on the calling thread; the callbacks may not
// start another walk of the same tree.
void WalkFolder(const char* mask, const CString& folder, const std::function<void(const CString&)>& add_file,
                const std::function<void(const CString&)>& refuse_folder);

// Byte order of two paths: unsigned bytes, the first difference decides, a
// prefix comes first. No locale, no case folding, no numeric runs.
inline bool PathLess(std::string_view a, std::string_view b) {
  return a.compare(b) < 0;  // char_traits<char> compares as unsigned char
}

enum class SortOrder { kAscending, kDescending };
// Sorts paths by PathLess. Descending is the exact reverse of ascending, equal
// paths included.
void SortPaths(std::vector<CString>& paths, SortOrder order);
