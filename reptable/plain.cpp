// Plain replacement: field escapes and character-boundary replace-all.
#include <cstring>
#include <string>

#include "reptable/reptable.h"

namespace {
int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

void unescape_field(char* field) {
  const std::string copy(field);
  const auto* in = reinterpret_cast<const unsigned char*>(copy.c_str());
  const auto* end = in + copy.size();
  auto* out = reinterpret_cast<unsigned char*>(field);
  while (in < end) {
    if (is_sjis_lead(*in)) {
      *out++ = *in++;
      if (in < end) *out++ = *in++;  // the trail byte, a backslash too, is ordinary
      continue;
    }
    if (*in != '\\') {
      *out++ = *in++;
      continue;
    }
    if (in + 1 == end) break;  // a lone backslash at the end is dropped
    const unsigned char kind = in[1];
    switch (kind) {
      case 'n': *out++ = '\n'; break;
      case 't': *out++ = '\t'; break;
      case '\\': *out++ = '\\'; break;
      case '#': *out++ = '#'; break;
      case 'x':
      case 'X': {
        int high = in + 2 < end ? hex_value(in[2]) : -1;
        int low = in + 3 < end ? hex_value(in[3]) : -1;
        if (high < 0 || low < 0) {
          *out = '\0';  // the field ends before the backslash
          return;
        }
        *out++ = static_cast<unsigned char>(high * 16 + low);
        in += 2;
        break;
      }
      default: break;  // an unknown escape is dropped, both bytes
    }
    in += 2;
  }
  *out = '\0';
}

size_t replace_all_sjis(std::string_view source, std::string_view search, std::string_view replacement,
                        std::string* replaced) {
  if (search.empty()) return 0;
  std::string& result = *replaced;
  result.clear();
  size_t count = 0;
  size_t copied = 0;    // source bytes already in result
  size_t boundary = 0;  // a character start at or before every candidate still to test
  for (size_t at = source.find(search); at != std::string_view::npos; at = source.find(search, at + 1)) {
    while (boundary < at) {
      boundary += is_sjis_lead(static_cast<unsigned char>(source[boundary])) ? 2 : 1;
    }
    if (boundary != at) continue;  // the candidate starts on a trail byte
    if (count++ == 0) result.reserve(source.size());
    result.append(source, copied, at - copied);
    result.append(replacement);
    copied = at + search.size();
    at = copied - 1;  // the next search starts behind the match
  }
  if (count == 0) return 0;
  result.append(source, copied, std::string_view::npos);
  return count;
}
