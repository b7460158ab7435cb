// The conversions one byte or character at a time: the form of machines without SSE2, the
// reference the block forms are compared with, and the end of every block form's work.
#include "jcode/bytewise.h"

namespace jcode_internal {

size_t bytewise_quiet_run(const u8* p, size_t n) {
  size_t i = 0;
  while (i < n && p[i] < 0x80 && p[i] != kEsc) ++i;
  return i;
}

u8* bytewise_jis_to_sjis(const u8* r, const u8* end, u8* w, JisState state) {
  while (r < end) {
    const Control control = jis_control(r, end);
    if (control.length) {
      state = control.state;
      r += control.length;
    } else {
      w = step_jis_to_sjis(r, end, w, state);
    }
  }
  return w;
}

u8* bytewise_euc_to_sjis(const u8* r, const u8* end, u8* w) {
  while (r < end) w = step_euc_to_sjis(r, end, w);
  return w;
}

u8* bytewise_sjis_to_jis(const u8* r, const u8* end, u8* w, JisState state, Loss& loss) {
  while (r < end) w = step_sjis_to_jis(r, end, w, state, loss);
  if (state != JisState::kAscii) w = put_escape(w, JisState::kAscii);
  return w;
}

template <bool kInPlace>
Progress bytewise_sjis_to_euc(const u8* r, const u8* end, u8* w, Loss& loss) {
  while (r < end) {
    if (!kInPlace && lead_short(r, end, w, 2)) break;
    if (!step_sjis_to_euc<kInPlace>(r, end, w, loss)) break;
  }
  return {r, w};
}
template Progress bytewise_sjis_to_euc<true>(const u8*, const u8*, u8*, Loss&);
template Progress bytewise_sjis_to_euc<false>(const u8*, const u8*, u8*, Loss&);

namespace {

u8* jis_to_sjis_from_ascii(const u8* r, const u8* end, u8* w) {
  return bytewise_jis_to_sjis(r, end, w, JisState::kAscii);
}
u8* sjis_to_jis_from_ascii(const u8* r, const u8* end, u8* w, Loss& loss) {
  return bytewise_sjis_to_jis(r, end, w, JisState::kAscii, loss);
}

constexpr Form kBytewise = {"bytewise",
                            bytewise_quiet_run,
                            jis_to_sjis_from_ascii,
                            bytewise_euc_to_sjis,
                            sjis_to_jis_from_ascii,
                            bytewise_sjis_to_euc<true>,
                            bytewise_sjis_to_euc<false>};

}  // namespace

const Form& bytewise_form() { return kBytewise; }

}  // namespace jcode_internal
