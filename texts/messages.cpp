// The program's own texts. Written in UTF-8; the Windows build stores them as
// code page 932 bytes.
#include "texts/messages.h"

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
const char kFileFailed[] = "'%s' の処理中にエラーが発生しました。\n%s (Error:%lu)";
const char kReplaced[] = "'%s' の %lu 文字はシフトJISで表せないため「〓」に置き換えました。(最初は %lu 行目)";
const char kAddTitle[] = "ファイルの選択";
const char kAllFilesFilter[] = "すべてのファイル (*.*)|*.*||";
const char kSeparatorTitle[] = "セパレータの選択";
const char kSeparatorFilter[] = "セパレータ ファイル (*.txt)|*.txt|すべてのファイル (*.*)|*.*||";
const char kTableTitle[] = "置換テーブルの選択";
const char kTableFilter[] =
    "置換テーブル ファイル (*.txt;*.tbl;*.dic)|*.txt;*.tbl;*.dic|すべてのファイル (*.*)|*.*||";

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
