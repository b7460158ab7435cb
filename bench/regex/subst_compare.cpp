// Global substitution over a generated Shift_JIS text (16 MiB unless given) with this
// engine's rx_subst, PCRE2's JIT (pcre2_substitute) and Oniguruma (Shift_JIS, a
// search loop that builds the output). Each command's runs alternate between the
// three engines, after one untimed run of each, in the reverse order every other
// round; the best of five rounds counts. The outputs are compared: byte-mode commands
// with PCRE2's, k-mode commands with Oniguruma's.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <oniguruma.h>
#include <pcre2.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/regex/sjis_text.h"
#include "regex/regex.h"

namespace {

struct Command {
  const char* name;
  const char* pattern;
  const char* replacement;  // $n refers to group n in all three engines
  const char* flags;        // our flag letters; i, m and k map to the peers' options
};

const Command kCommands[] = {
    {"literal", "Tavvel", "X", "g"},
    {"kanji_literal", "\x95\xcf\x8a\xb7", "X", "gk"},  // 変換
    {"digits", "[0-9]+", "#", "g"},
    {"word", "\\w+", "W", "gk"},
    {"alternation", "(apple|banana|cherry)", "<$1>", "g"},
    {"line_starts", "^", "> ", "gm"},
    {"lazy_between", "begin(.*?)end", "[$1]", "g"},
    {"backreference", "(\\w)\\1", "D", "gk"},
    {"fold_word", "function", "F", "gi"},
    {"kana_class", "[\x82\x9f-\x82\xf1]+", "H", "gk"},  // [ぁ-ん]+
    {"number_unit", "(\\d+)ms", "$1 ms", "g"},
    {"swap_fields", "^(\\S+) (\\w+)", "$2 $1", "gm"},
};

bool has(const Command& c, char flag) { return std::strchr(c.flags, flag) != nullptr; }

using Clock = std::chrono::steady_clock;

// One engine's substitution: compiled once, then run over the text. A run times only
// the engine's work and its output block into ms; the copy of either result into a
// string for the comparison does not count.
struct Engine {
  std::function<bool(const std::string&, std::string&, double&)> run;  // false: not available
  double best_ms = 1e30;
  std::string output;
  bool ok = true;
};

Engine ours(const Command& c) {
  const std::string command = std::string("s/") + c.pattern + "/" + c.replacement + "/" + c.flags;
  Engine e;
  e.run = [command](const std::string& text, std::string& out, double& ms) {
    RegexHandle* slot = nullptr;
    char message[RX_MESSAGE_SIZE];
    const auto t0 = Clock::now();
    const int n = rx_subst(command.c_str(), text.data(), text.data() + text.size(), &slot, message);
    ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const bool ok = message[0] == '\0' && n >= 0;
    if (ok) {
      out = n == 0               ? text
            : slot->result_start ? std::string(reinterpret_cast<const char*>(slot->result_start),
                                               slot->result_end - slot->result_start)
                                 : std::string();
    }
    rx_free(slot);
    return ok;
  };
  return e;
}

Engine pcre2_jit(const Command& c) {
  uint32_t options = 0;
  if (has(c, 'i')) options |= PCRE2_CASELESS;
  if (has(c, 'm')) options |= PCRE2_MULTILINE;
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(c.pattern), PCRE2_ZERO_TERMINATED, options,
                                   &error, &offset, nullptr);
  Engine e;
  if (!code || pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) {
    e.ok = false;
    return e;
  }
  const std::string replacement = c.replacement;
  // The output block is fresh and uninitialised, as ours is, and of the size the output
  // needs, found by an untimed run first: PCRE2 never runs twice for want of room.
  e.run = [code, replacement, fit = PCRE2_SIZE{0}](const std::string& text, std::string& out,
                                                   double& ms) mutable {
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
    auto substitute = [&](char* block, PCRE2_SIZE& size, uint32_t overflow) {
      return pcre2_substitute(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0,
                              PCRE2_SUBSTITUTE_GLOBAL | overflow, md, nullptr,
                              reinterpret_cast<PCRE2_SPTR>(replacement.data()), replacement.size(),
                              reinterpret_cast<PCRE2_UCHAR*>(block), &size);
    };
    if (fit == 0) {
      char none[1];
      fit = 0;
      if (substitute(none, fit, PCRE2_SUBSTITUTE_OVERFLOW_LENGTH) != PCRE2_ERROR_NOMEMORY) fit = 1;
    }
    pcre2_match_data_free(md);
    const auto t0 = Clock::now();
    md = pcre2_match_data_create_from_pattern(code, nullptr);
    PCRE2_SIZE size = fit;
    std::unique_ptr<char[]> block(new char[size]);
    const int rc = substitute(block.get(), size, 0);
    pcre2_match_data_free(md);
    ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    out.assign(block.get(), rc >= 0 ? size : 0);
    return rc >= 0;
  };
  return e;
}

Engine oniguruma(const Command& c) {
  OnigOptionType options =
      ONIG_OPTION_WORD_IS_ASCII | ONIG_OPTION_DIGIT_IS_ASCII | ONIG_OPTION_SPACE_IS_ASCII;
  if (has(c, 'i')) options |= ONIG_OPTION_IGNORECASE;
  regex_t* reg = nullptr;
  OnigErrorInfo info;
  const auto* pattern = reinterpret_cast<const OnigUChar*>(c.pattern);
  Engine e;
  // Ruby syntax: ^ works at every line, as the m commands want.
  if (onig_new(&reg, pattern, pattern + std::strlen(c.pattern), options, ONIG_ENCODING_SJIS, ONIG_SYNTAX_RUBY,
               &info) != ONIG_NORMAL) {
    e.ok = false;
    return e;
  }
  const std::string replacement = c.replacement;
  e.run = [reg, replacement](const std::string& text, std::string& out, double& ms) {
    const auto t0 = Clock::now();
    OnigRegion* region = onig_region_new();
    const auto* str = reinterpret_cast<const OnigUChar*>(text.data());
    const auto* end = str + text.size();
    const OnigUChar* start = str;
    out.clear();
    out.reserve(text.size() + text.size() / 4);
    size_t copied = 0;
    while (start <= end && onig_search(reg, str, end, start, end, region, ONIG_OPTION_NONE) >= 0) {
      const size_t b = static_cast<size_t>(region->beg[0]), f = static_cast<size_t>(region->end[0]);
      out.append(text, copied, b - copied);
      for (size_t i = 0; i < replacement.size(); ++i) {
        const char r = replacement[i];
        if (r == '$' && i + 1 < replacement.size() && replacement[i + 1] >= '1' &&
            replacement[i + 1] <= '9') {
          const int g = replacement[++i] - '0';
          if (g < region->num_regs && region->beg[g] >= 0)
            out.append(text, region->beg[g], region->end[g] - region->beg[g]);
        } else {
          out += r;
        }
      }
      copied = f;
      if (f > b) {
        start = str + f;
      } else {  // an empty match: the next one starts a character later
        if (str + f >= end) break;
        const unsigned char lead = text[f];
        const int length =
            ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) && f + 1 < text.size() ? 2 : 1;
        out.append(text, f, static_cast<size_t>(length));
        copied = f + static_cast<size_t>(length);
        start = str + copied;
      }
    }
    out.append(text, copied, std::string::npos);
    onig_region_free(region, 1);
    ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    return true;
  };
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const char* only = argc > 3 ? argv[3] : nullptr;  // run only the commands whose name contains this
  OnigEncoding encodings[] = {ONIG_ENCODING_SJIS};
  onig_initialize(encodings, 1);
  const std::string text = regex_bench::make_sjis_text(mib << 20);
  std::printf("%-16s %9s %9s %9s | %7s %7s | %s\n", "command", "ours ms", "jit ms", "onig ms", "/jit",
              "/onig", "output");
  // One untimed run of each engine first: the process's first large blocks fault their
  // pages in, a cost that would otherwise fall on whichever command comes first.
  for (Engine warm : {ours(kCommands[0]), pcre2_jit(kCommands[0]), oniguruma(kCommands[0])}) {
    std::string out;
    double ms = 0;
    if (warm.ok) warm.run(text, out, ms);
  }
  std::vector<double> to_jit;
  for (const Command& c : kCommands) {
    if (only && !std::strstr(c.name, only)) continue;
    Engine engines[] = {ours(c), pcre2_jit(c), oniguruma(c)};
    for (int round = 0; round < rounds; ++round) {
      // An engine that runs just after another finds the text in the cache where the
      // other left it; so every other round runs the engines in the reverse order.
      for (int k = 0; k < 3; ++k) {
        Engine& e = engines[round % 2 == 0 ? k : 2 - k];
        if (!e.ok) continue;
        std::string out;
        double ms = 0;
        e.ok = e.run(text, out, ms);
        e.best_ms = std::min(e.best_ms, ms);
        if (round == 0) e.output = std::move(out);
      }
    }
    const Engine& peer = has(c, 'k') ? engines[2] : engines[1];
    const char* same = !engines[0].ok || !peer.ok         ? "error"
                       : engines[0].output == peer.output ? "same"
                                                          : "DIFFERS";
    const double jit = engines[0].best_ms / engines[1].best_ms,
                 onig = engines[0].best_ms / engines[2].best_ms;
    if (engines[1].ok) to_jit.push_back(jit);
    auto ms = [](const Engine& e) {
      char text[24] = "-";  // tenths: the fast commands take a few ms
      if (e.ok) std::snprintf(text, sizeof text, "%.1f", e.best_ms);
      return std::string(text);
    };
    char jit_ratio[16] = "-";
    if (engines[1].ok) std::snprintf(jit_ratio, sizeof jit_ratio, "%.2f", jit);
    std::printf("%-16s %9s %9s %9s | %7s %7.2f | %s as %s\n", c.name, ms(engines[0]).c_str(),
                ms(engines[1]).c_str(), ms(engines[2]).c_str(), jit_ratio, onig, same,
                has(c, 'k') ? "onig" : "pcre2");
    std::fflush(stdout);
  }
  std::sort(to_jit.begin(), to_jit.end());
  const size_t n = to_jit.size();
  if (n > 0)
    std::printf("median ours/jit %.2f over %zu commands\n", (to_jit[(n - 1) / 2] + to_jit[n / 2]) / 2, n);
  onig_end();
  return 0;
}
