// Regex replacement mode: each table line is a command run over the text.
#include <cstring>

#include "regex/regex.h"
#include "reptable/reptable.h"

namespace reptable_internal {
namespace {
const char kNotStartSOrTr[] = "do not start 's' or 'tr'";
}

bool ApplyRegexTable(const ReplaceTable& table, CString& text, CommandFailure* failure) {
  for (const CString& command : table.search) {
    // Every command gets a fresh handle for every text: nothing is kept between texts.
    RegexHandle* slot = nullptr;
    char message[RX_MESSAGE_SIZE] = "";
    if (command.GetLength() <= 1) continue;
    const char* line = command.GetString();
    // The target runs to the first NUL, as the engine reads texts.
    const char* start = text.GetString();
    const char* end = start + std::strlen(start);
    int count = -1;
    if (line[0] == 's') {
      count = rx_subst(line, start, end, &slot, message);
    } else if (line[0] == 't' && line[1] == 'r') {
      count = rx_trans(line, start, end, &slot, message);
    } else {
      std::strncpy(message, kNotStartSOrTr, sizeof message - 1);
    }
    if (message[0] != '\0') {
      failure->message = message;
      failure->command = command;
      rx_free(slot);
      return false;  // the rest of the table is skipped for this text only
    }
    if (count > 0 && slot != nullptr) {
      // The result belongs to the handle: copy it before the handle goes.
      if (slot->result_start != nullptr) {
        text = CString(reinterpret_cast<const char*>(slot->result_start),
                       static_cast<size_t>(slot->result_end - slot->result_start));
      } else {
        text.Empty();
      }
    }
    rx_free(slot);
  }
  return true;
}

}  // namespace reptable_internal
