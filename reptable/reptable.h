// Replacement tables: the escapes of plain table fields and the plain
// replacement of Shift_JIS text.
#pragma once

#include <string>
#include <string_view>

// Rewrites a NUL-terminated table field in place, resolving \n \t \\ \# and
// \xHH; other escapes are dropped, and a \x without two hex digits ends the
// field. A backslash that is the trail byte of a double-byte character is an
// ordinary byte. The result is never longer than the field.
void unescape_field(char* field);

// Replaces every occurrence of search in source by replacement, left to
// right, matching only at Shift_JIS character boundaries; replaced text is
// not searched again. Returns the number of replacements; when it is not 0,
// *replaced holds the new text.
size_t replace_all_sjis(std::string_view source, std::string_view search, std::string_view replacement,
                        std::string* replaced);

// Shift_JIS (code page 932) lead bytes: 0x81-0x9F and 0xE0-0xFC.
inline bool is_sjis_lead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
