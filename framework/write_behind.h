// Writing behind: a file written from a second thread, so that the making of
// its bytes and the system's work on them (emptying the file first, copying
// the bytes into its cache) overlap. Where the platform has no threads each
// step runs at once, in the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/file.h"

class CWriteBehind {
 public:
  // Writes to file, open for writing, from its position on; when empty_first,
  // a file that holds bytes is emptied before the first is written (open it
  // with modeNoTruncate, so that the open does not wait for that).
  CWriteBehind(CFile& file, bool empty_first);
  // Writes what waits; a failure not yet raised is dropped.
  ~CWriteBehind();
  CWriteBehind(const CWriteBehind&) = delete;
  CWriteBehind& operator=(const CWriteBehind&) = delete;

  // Takes a copy of the bytes to write. Raises the CFileException of an
  // earlier step that failed, from then on.
  void Write(const void* bytes, size_t count);
  // Room for count bytes to be made in place, at the end of what waits; the
  // first `made` of them go with Commit(made), before any other call. Raises
  // as Write.
  char* Room(size_t count);
  void Commit(size_t made);
  // Returns once every byte is written; raises the first failure.
  void Flush();

 private:
  struct Shared;
  std::unique_ptr<Shared> shared_;
};
