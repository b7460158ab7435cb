// The program's own texts. Written in UTF-8; the Windows build stores them as
// code page 932 bytes.
#include "texts/messages.h"

namespace msg {
const char kBanner[] = "ファイルを追加して［結合］を押してください。";
const char kFileCount[] = "ファイル数: %ld";
const char kJoined[] = "%ld 個のファイルを結合しました。";
const char kCannotOpen[] = "'%s' を開くことができません。(Error:%lu)";
const char kCannotOpenSeparator[] =
    "セパレータファイルをオープンできません。(Error:%lu)\nセパレータを挿入せずに処理を続行します。";
const char kCannotOpenTable[] =
    "置換テーブルファイルをオープンできません。(Error:%lu)\n置換テーブルを通さずに処理を続行します。";
const char kCommandFailed[] = "%s: %s\n置換テーブルを通さずに処理を続行します。";
const char kPathTooLong[] = "'%s' はパスが長すぎるため追加できません。(259 バイトまで)";
const char kTooLargeForMemory[] = "'%s' は大きすぎるため処理できません。";
const char kAddTitle[] = "ファイルの選択";
const char kAllFilesFilter[] = "すべてのファイル (*.*)|*.*||";
const char kSeparatorTitle[] = "セパレータの選択";
const char kSeparatorFilter[] = "セパレータ ファイル (*.txt)|*.txt|すべてのファイル (*.*)|*.*||";
const char kTableTitle[] = "置換テーブルの選択";
const char kTableFilter[] =
    "置換テーブル ファイル (*.txt;*.tbl;*.dic)|*.txt;*.tbl;*.dic|すべてのファイル (*.*)|*.*||";
const char kNotStartSOrTr[] = "do not start 's' or 'tr'";
}  // namespace msg
