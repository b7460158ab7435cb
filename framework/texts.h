// The texts the framework itself shows the user: a failed data exchange, a
// handler that ran out of memory or met a file error, the causes of file
// errors and the message boxes' caption. The program supplies them in its
// own language when it starts; until then every text is empty.
#pragma once

#include <array>

#include "framework/file.h"

struct FrameworkTexts {
  const char* caption = "";        // the title of every message box
  const char* max_chars = "";      // DDV_MaxChars; "%1" stands for the limit
  const char* out_of_memory = "";  // a handler ran out of memory
  const char* file_error = "";     // a file error ended a handler: %s file, %s cause, %lu error code
  // CFileException::CauseText, by cause.
  std::array<const char*, CFileException::kCauseCount> causes{};
};

// Makes texts the framework's texts; nullptr goes back to the empty ones.
// texts must outlive every use.
void SetFrameworkTexts(const FrameworkTexts* texts);
const FrameworkTexts& GetFrameworkTexts();
