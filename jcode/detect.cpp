// Detection of the code class from the first decisive byte, and the input normaliser that
// acts on it.
#include <cstring>

#include "jcode/bytewise.h"
#include "jcode/jcode.h"

namespace jcode_internal {

int detect_kanji_code(const Form& form, const char* text, size_t n) noexcept {
  const u8* const p = reinterpret_cast<const u8*>(text);
  // Bytes below 0x80 other than ESC decide nothing.
  for (size_t i = 0; (i += form.quiet_run(p + i, n - i)) < n; ++i) {
    const u8 b = p[i];
    const u8 next = i + 1 < n ? p[i + 1] : 0;
    if (b == kEsc) {
      if (next == '$') return KANJI_JIS;
    } else if (b >= 0x81 && b <= 0x9F) {
      return KANJI_SJIS;
    } else if (is_kana(b)) {
      return KANJI_EUC;
    } else if (next <= 0xA0) {  // 80, A0, E0..FF before a byte that cannot follow in EUC
      return KANJI_SJIS;
    } else if (b == 0xFD || b == 0xFE) {
      return KANJI_EUC;
    }
    // Otherwise undecided: the scan goes on with the very next byte.
  }
  return KANJI_UNKNOWN;
}

size_t to_sjis(const Form& form, char* text, size_t n) noexcept {
  switch (detect_kanji_code(form, text, n)) {
    case KANJI_EUC:
      return euc_to_sjis(form, text, n);
    case KANJI_JIS:
      return jis_to_sjis(form, text, n);
    default:
      text[n] = '\0';
      return n;
  }
}

}  // namespace jcode_internal

int detect_kanji_code(const char* text, size_t n) noexcept {
  return jcode_internal::detect_kanji_code(jcode_internal::widest_form(), text, n);
}
int detect_kanji_code(const char* text) noexcept { return detect_kanji_code(text, std::strlen(text)); }

size_t to_sjis(char* text, size_t n) noexcept {
  return jcode_internal::to_sjis(jcode_internal::widest_form(), text, n);
}
void to_sjis(char* text) noexcept { to_sjis(text, std::strlen(text)); }
