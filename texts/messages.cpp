// The program's own texts. Written in UTF-8; the Windows build stores them as
// code page 932 bytes.
#include "texts/messages.h"

#include <algorithm>
#include <iterator>

#include "framework/texts.h"

namespace msg {
const char kBanner[] = "ファイルを追加して［結合］を押してください。";
const char kFileCount[] = "ファイル数: %ld";
const char kJoined[] = "%ld 個のファイルを結合しました。";
const char kListEmpty[] = "リストが空です。";
const char kCannotOpen[] = "'%s' を開くことができません。(Error:%lu)";
const char kCannotOpenSeparator[] =
    "セパレータファイルをオープンできません。(Error:%lu)\nセパレータを挿入せずに処理を続行します。";
const char kCannotOpenTable[] =
    "置換テーブルファイルをオープンできません。(Error:%lu)\n置換テーブルを通さずに処理を続行します。";
const char kCommandFailed[] = "%s: %s\n置換テーブルを通さずに処理を続行します。";
const char kPathTooLong[] = "'%s' はパスが長すぎるため追加できません。(259 バイトまで)";
const char kTooLargeForMemory[] = "'%s' は大きすぎるため処理できません。";
const char kSourceCutShort[] = "読み込み中のファイルがほかのプログラムによって短くされたため、結合を中止しました。";
const char kFileFailed[] = "'%s' の処理中にエラーが発生しました。\n%s (Error:%lu)";
const char kReplaced[] = "'%s' の %lu 文字はシフトJISで表せないため「〓」に置き換えました。(最初は %lu 行目)";
const char kAddTitle[] = "ファイルの選択";
const char kAllFilesFilter[] = "すべてのファイル (*.*)|*.*||";
const char kSeparatorTitle[] = "セパレータの選択";
const char kSeparatorFilter[] = "セパレータ ファイル (*.txt)|*.txt|すべてのファイル (*.*)|*.*||";
const char kTableTitle[] = "置換テーブルの選択";
const char kTableFilter[] =
    "置換テーブル ファイル (*.txt;*.tbl;*.dic)|*.txt;*.tbl;*.dic|すべてのファイル (*.*)|*.*||";
const char kProgramName[] = "Tavvel";
const char kMaxChars[] = "%1 文字以内で入力してください。";
const char kOutOfMemory[] = "メモリが不足しています。";
const char* const kFileErrorCauses[15] = {
    "エラーはありません",
    "不明なエラーが発生しました",
    "ファイルが見つかりません",
    "パスが正しくありません",
    "開いているファイルが多すぎます",
    "アクセスが拒否されました",
    "ファイルハンドルが無効です",
    "現在のフォルダは削除できません",
    "フォルダがいっぱいです",
    "ファイル位置を移動できません",
    "入出力エラーが発生しました",
    "ファイルは使用中です",
    "ファイルはロックされています",
    "ディスクの空き容量が不足しています",
    "ファイルの終わりを越えて読み込もうとしました",
};

void InstallFrameworkTexts() {
  static_assert(std::size(kFileErrorCauses) == CFileException::kCauseCount);
  static const FrameworkTexts texts = [] {
    FrameworkTexts t;
    t.caption = kProgramName;
    t.max_chars = kMaxChars;
    t.out_of_memory = kOutOfMemory;
    t.file_error = kFileFailed;
    std::copy(std::begin(kFileErrorCauses), std::end(kFileErrorCauses), t.causes.begin());
    return t;
  }();
  SetFrameworkTexts(&texts);
}

CString CannotOpenText(const char* path, uint32_t error) {
  CString text;
  text.Format(kCannotOpen, path, static_cast<unsigned long>(error));
  return text;
}

CString NoticeText(const JoinNotice& notice) {
  CString text;
  switch (notice.kind) {
    case JoinNotice::kNoSeparator:
      text.Format(kCannotOpenSeparator, static_cast<unsigned long>(notice.error));
      break;
    case JoinNotice::kNoTable:
      text.Format(kCannotOpenTable, static_cast<unsigned long>(notice.error));
      break;
    case JoinNotice::kCommandFailed:
      text.Format(kCommandFailed, notice.message.GetString(), notice.command.GetString());
      break;
  }
  return text;
}

CString FileFailedText(const CFileException& failure) {
  CString text;
  text.Format(kFileFailed, failure.m_strFileName.GetString(), failure.CauseText().GetString(),
              static_cast<unsigned long>(failure.m_lOsError));
  return text;
}

CString TooLargeText(const char* path) {
  CString text;
  text.Format(kTooLargeForMemory, path);
  return text;
}

CString ReplacedText(const char* path, size_t count, size_t first_line) {
  CString text;
  text.Format(kReplaced, path, static_cast<unsigned long>(count), static_cast<unsigned long>(first_line));
  return text;
}

CString PathTooLongText(const char* path) {
  CString text;
  text.Format(kPathTooLong, path);
  return text;
}

CString JoinedText(int32_t joined) {
  CString text;
  text.Format(kJoined, static_cast<long>(joined));
  return text;
}

}  // namespace msg
