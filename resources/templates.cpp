// The dialog templates, menu and string table as data.
#include "resources/templates.h"

#include "resources/resource.h"
#include "tavvel_version.h"

namespace {

using K = ControlKind;

const DialogTemplate kMainDialog = {
    IDD_TAVVEL,
    "Tavvel",
    319,
    305,
    "ＭＳ Ｐゴシック",
    9,
    true,
    IDR_MENU,
    {
        {2, K::kDefaultButton, 262, 276, 50, 22, "終了", {}},
        {-1, K::kEtchedLine, 0, 0, 318, 1, "", {}},
        {-1, K::kGroupBox, 7, 7, 305, 134, "結合元ファイルリスト", {}},
        {IDC_FILE_LIST, K::kListBox, 15, 21, 263, 110, "", {}},
        {IDC_MOVE_UP, K::kButton, 281, 21, 24, 22, "▲", {}},
        {IDC_MOVE_DOWN, K::kButton, 281, 47, 24, 22, "▼", {}},
        {IDC_ADD, K::kButton, 281, 83, 24, 22, "追加", {}},
        {IDC_DELETE, K::kButton, 281, 109, 24, 22, "削除", {}},
        {-1, K::kGroupBox, 7, 148, 305, 114, "オプション", {}},
        {-1, K::kStatic, 15, 162, 39, 8, "ファイル形式:", {}},
        {IDC_FILE_MODE, K::kComboBox, 15, 172, 68, 69, "", {"テキスト形式", "バイナリ形式"}},
        {-1, K::kStatic, 15, 195, 47, 8, "改行コード変換:", {}},
        {IDC_CRLF, K::kComboBox, 15, 205, 68, 70, "", {"CRLF (Windows)", "CR (Macintosh)", "LF (Unix)"}},
        {-1, K::kStatic, 15, 228, 76, 8, "日本語文字コード変換:", {}},
        {IDC_CHAR_CODE,
         K::kComboBox,
         15,
         238,
         80,
         100,
         "",
         {"シフトJIS", "日本語JIS", "日本語EUC", "UTF-8", "UTF-8 (BOM付き)", "UTF-16LE (BOM付き)"}},
        {-1, K::kStatic, 98, 162, 44, 8, "文字列置換:", {}},
        {IDC_REP_MODE, K::kComboBox, 98, 172, 68, 64, "", {"しない", "単純な文字列置換", "正規表現で置換"}},
        {IDC_REP_FILE, K::kEdit, 98, 188, 193, 14, "", {}},
        {IDC_BROWSE_REP, K::kButton, 292, 188, 13, 14, "...", {}},
        {-1, K::kStatic, 98, 210, 74, 8, "セパレータ文字列の挿入:", {}},
        {IDC_INSERT_SEP, K::kComboBox, 98, 220, 68, 48, "", {"しない", "する"}},
        {IDC_SEP_FILE, K::kEdit, 98, 237, 193, 14, "", {}},
        {IDC_BROWSE_SEP, K::kButton, 292, 237, 13, 14, "...", {}},
        {IDC_STATUS, K::kStatic, 7, 269, 198, 8, "", {}},
        {IDC_PROGRESS, K::kProgress, 7, 284, 195, 14, "", {}},
        {IDC_JOIN, K::kButton, 207, 276, 50, 22, "結合 ...", {}},
    },
};

const DialogTemplate kAboutDialog = {
    IDD_ABOUTBOX,
    "バージョン情報",
    171,
    56,
    "ＭＳ Ｐゴシック",
    9,
    true,
    0,
    {
        {-1, K::kIcon, 13, 8, 20, 21, "", {}},
        {-1, K::kStatic, 42, 10, 59, 8, "Tavvel", {}},
        {-1, K::kStatic, 42, 25, 89, 8, "ファイル結合ツール", {}},
        {1, K::kDefaultButton, 130, 7, 34, 14, "OK", {}},
        {-1, K::kStatic, 8, 32, 32, 8, TAVVEL_VERSION_LABEL, {}},
        {-1, K::kStatic, 42, 35, 68, 8, "Tavvel 開発チーム", {}},
    },
};

const std::vector<MenuItemTemplate> kMainMenu = {
    {"ファイル(&F)", "結合(&R)...", ID_FILE_JOIN},
    {"ファイル(&F)", nullptr, 0},
    {"ファイル(&F)", "終了(&X)\tAlt+F4", 2},
    {"リスト(&L)", "追加 ...", ID_LIST_ADD},
    {"リスト(&L)", "削除", ID_LIST_DELETE},
    {"リスト(&L)", "すべて削除", ID_LIST_DELETE_ALL},
    {"リスト(&L)", nullptr, 0},
    {"リスト(&L)", "上へ", ID_LIST_MOVE_UP},
    {"リスト(&L)", "下へ", ID_LIST_MOVE_DOWN},
    {"リスト(&L)", nullptr, 0},
    {"リスト(&L)", "昇順にソート", ID_LIST_SORT_ASCENDING},
    {"リスト(&L)", "降順にソート", ID_LIST_SORT_DESCENDING},
    {"リスト(&L)", nullptr, 0},
    {"リスト(&L)", "選択を解除", ID_LIST_DESELECT},
    {"ヘルプ(&H)", "お読みください(&R)", ID_HELP_README},
    {"ヘルプ(&H)", nullptr, 0},
    {"ヘルプ(&H)", "バージョン情報(&A)...", IDM_ABOUTBOX},
};

const DialogTemplate* const kDialogs[] = {&kMainDialog, &kAboutDialog};

const StringResource kStrings[] = {
    {IDS_ABOUTBOX, "バージョン情報(&A)..."},
    {IDS_NOT_SELECTED, "ファイルが選択されていません。"},
    {IDS_LIST_EMPTY, "リストが空です。"},
};

const ResourceTable kResources = {kDialogs, kStrings};

}  // namespace

const ResourceTable& ProgramResources() { return kResources; }

const std::vector<MenuItemTemplate>& MainMenuTemplate() { return kMainMenu; }
