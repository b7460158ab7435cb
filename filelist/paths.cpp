// List paths: their entry form, the folder walk and the sorts.
#include <algorithm>
#include <set>

#include "filelist/filelist.h"
#include "framework/os.h"

int LowerAsciiPath(char* path) {
  int changed = 0;
  for (auto* p = reinterpret_cast<unsigned char*>(path); *p != '\0'; ++p) {
    if (*p >= 'A' && *p <= 'Z') {
      *p = static_cast<unsigned char>(*p + 0x20);
      ++changed;
    } else if ((*p >= 0x81 && *p <= 0x9F) || (*p >= 0xE0 && *p <= 0xFC)) {
      if (p[1] == '\0') return -1;
      ++p;  // the trail byte stays as it is
    }
  }
  return changed;
}

bool ListEntryForm(const CString& path, CString* entry) {
  if (path.GetLength() > kMaxPathBytes) return false;
  *entry = path;
  if (kPathsIgnoreCase) {
    LowerAsciiPath(entry->GetBuffer(entry->GetLength()));
    entry->ReleaseBuffer();
  }
  return true;
}

namespace {

void Walk(const char* mask, const CString& folder, std::set<FileIdentity>& walking,
          const std::function<void(const CString&)>& add_file,
          const std::function<void(const CString&)>& refuse_folder) {
  FileIdentity identity;
  const bool known = GetFileIdentity(folder, &identity);
  if (known && !walking.insert(identity).second) return;

  CString pattern = folder;
  pattern += kPathSeparator;
  pattern += mask;
  CFileFind find;
  bool more = find.FindFile(pattern);
  // Where the search pattern must fit a path buffer (Windows), a folder this
  // deep cannot be listed: it is refused by name rather than left out unseen.
  if (!more && pattern.GetLength() > kMaxPathBytes) refuse_folder(folder);
  while (more) {
    more = find.FindNextFile();
    if (find.IsDots()) continue;
    CString path = folder;
    path += kPathSeparator;
    path += find.GetFileName();
    if (find.IsDirectory()) {
      Walk(mask, path, walking, add_file, refuse_folder);
    } else {
      add_file(path);
    }
  }
  if (known) walking.erase(identity);
}

}  // namespace

void WalkFolder(const char* mask, const CString& folder, const std::function<void(const CString&)>& add_file,
                const std::function<void(const CString&)>& refuse_folder) {
  std::set<FileIdentity> walking;
  Walk(mask, folder, walking, add_file, refuse_folder);
}

void SortPaths(std::vector<CString>& paths, SortOrder order) {
  std::stable_sort(paths.begin(), paths.end(),
                   [](const CString& a, const CString& b) { return PathLess(a.View(), b.View()); });
  if (order == SortOrder::kDescending) std::reverse(paths.begin(), paths.end());
}
