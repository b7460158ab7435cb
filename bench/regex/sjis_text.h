// A generated Shift_JIS text for the matcher benchmarks: lines of ASCII words,
// numbers, hiragana, katakana and kanji words, the same bytes on every run.
#pragma once

#include <cstdint>
#include <string>

namespace regex_bench {

inline std::string make_sjis_text(size_t bytes) {
  static const char* kAscii[] = {"join",  "file",  "Tavvel", "table", "replace", "line",  "text",
                                 "apple", "banana", "cherry", "begin", "end",     "FUNCTION", "function"};
  static const char* kKanji[] = {
      "\x93\xfa\x96\x7b",  // 日本
      "\x93\x8c\x8b\x9e",  // 東京
      "\x8a\xbf\x8e\x9a",  // 漢字
      "\x95\xcf\x8a\xb7",  // 変換
      "\x95\xb6\x8e\x9a",  // 文字
      "\x8c\x8b\x8d\x87",  // 結合
      "\x95\x5c\x8e\xa6",  // 表示
      "\x83\x5c\x83\x74\x83\x67",          // ソフト
      "\x83\x74\x83\x40\x83\x43\x83\x8b",  // ファイル
      "\x90\xdd\x92\xe8",  // 設定
      "\x94\x5c\x97\xcd",  // 能力
      "\x97\x5c\x92\xe8",  // 予定
  };
  std::string text;
  text.reserve(bytes + 128);
  uint32_t state = 20261207;
  auto next = [&](uint32_t n) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % n;
  };
  size_t line_length = 0;
  while (text.size() < bytes) {
    switch (next(10)) {
      case 0: case 1: case 2:
        text += kAscii[next(14)];
        break;
      case 3:
        text += std::to_string(next(100000));
        break;
      case 4: case 5: {  // hiragana ぁ..ん
        const uint32_t n = 1 + next(6);
        for (uint32_t i = 0; i < n; ++i) {
          text += '\x82';
          text += static_cast<char>(0x9F + next(0xF1 - 0x9F + 1));
        }
        break;
      }
      case 6: {  // katakana ァ..ヶ, skipping 0x7F
        const uint32_t n = 1 + next(5);
        for (uint32_t i = 0; i < n; ++i) {
          uint32_t t = 0x40 + next(0x96 - 0x40);
          if (t >= 0x7F) ++t;
          text += '\x83';
          text += static_cast<char>(t);
        }
        break;
      }
      case 7: case 8:
        text += kKanji[next(12)];
        break;
      default:
        text += next(2) ? "\x81\x41" : "\x81\x42";  // 、 。
        break;
    }
    text += next(4) == 0 ? " " : "";
    if (text.size() - line_length > 60 + next(40)) {
      text += '\n';
      line_length = text.size();
    }
  }
  text += '\n';
  return text;
}

struct SearchCase {
  const char* name;
  const char* pattern;
  uint32_t options;  // OPT_* bits
};

// The same searches for this engine and the comparison program.
inline const SearchCase kSearches[] = {
    {"literal", "Tavvel", 0},
    {"kanji_literal", "\x95\xcf\x8a\xb7", 0x4000},  // 変換
    {"digits", "[0-9]+", 0},
    {"word", "\\w+", 0x4000},
    {"alternation", "apple|banana|cherry", 0},
    {"anchored_multiline", "^join", 0x1000},
    {"lazy_between_literals", "begin.*?end", 0},
    {"backreference", "(\\w)\\1", 0},
    {"fold_literal", "function", 0x20},
    {"kana_class", "[\x82\x9f-\x82\xf1]+", 0x4000},  // [ぁ-ん]+
};

}  // namespace regex_bench
