// The Windows constants the dialog code and the backends speak: control
// messages, notification codes, message-box types and dialog flags. Values are
// the system's own (the Windows name is in each comment group), so the Win32
// backend passes them through unchanged; the names differ so that they never
// meet the system headers' macros.
#pragma once

#include <cstdint>

namespace win {
// Dialog results and the two standard command IDs.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
// List box messages.
inline constexpr unsigned kLbAddString = 0x0180;
inline constexpr unsigned kLbInsertString = 0x0181;
inline constexpr unsigned kLbDeleteString = 0x0182;
inline constexpr unsigned kLbResetContent = 0x0184;
inline constexpr unsigned kLbSetSel = 0x0185;
inline constexpr unsigned kLbGetSel = 0x0187;
inline constexpr unsigned kLbGetText = 0x0189;
inline constexpr unsigned kLbGetTextLen = 0x018A;
inline constexpr unsigned kLbGetCount = 0x018B;
inline constexpr unsigned kLbGetSelCount = 0x0190;
inline constexpr unsigned kLbGetHorizontalExtent = 0x0193;
inline constexpr unsigned kLbSetHorizontalExtent = 0x0194;
inline constexpr unsigned kLbSetCaretIndex = 0x019E;
inline constexpr unsigned kLbGetCaretIndex = 0x019F;
inline constexpr intptr_t kLbErr = -1;
// Combo box messages.
inline constexpr unsigned kCbAddString = 0x0143;
inline constexpr unsigned kCbGetCount = 0x0146;
inline constexpr unsigned kCbGetCurSel = 0x0147;
inline constexpr unsigned kCbGetLbText = 0x0148;
inline constexpr unsigned kCbGetLbTextLen = 0x0149;
inline constexpr unsigned kCbSetCurSel = 0x014E;
inline constexpr intptr_t kCbErr = -1;
// Edit and progress messages.
inline constexpr unsigned kEmLimitText = 0x00C5;
inline constexpr unsigned kPbmSetPos = 0x0402;       // 1026
inline constexpr unsigned kPbmGetRange = 0x0407;
inline constexpr unsigned kPbmGetPos = 0x0408;
inline constexpr unsigned kPbmSetRange32 = 0x0406;   // 1030

// Notification codes carried with WM_COMMAND.
inline constexpr int kBnClicked = 0;
inline constexpr int kCbnSelChange = 1;
inline constexpr int kLbnDblClk = 2;

// Message-box types and results.
inline constexpr unsigned kMbOk = 0x00000000;
inline constexpr unsigned kMbIconStop = 0x00000010;
inline constexpr unsigned kMbIconExclamation = 0x00000030;
inline constexpr unsigned kMbIconMask = 0x000000F0;

// Common file dialog flags.
inline constexpr uint32_t kOfnReadOnly = 0x00000001;
inline constexpr uint32_t kOfnOverwritePrompt = 0x00000002;
inline constexpr uint32_t kOfnHideReadOnly = 0x00000004;
inline constexpr uint32_t kOfnAllowMultiSelect = 0x00000200;
inline constexpr uint32_t kOfnPathMustExist = 0x00000800;
inline constexpr uint32_t kOfnFileMustExist = 0x00001000;
inline constexpr uint32_t kOfnExplorer = 0x00080000;

// Menu flags and system commands.
inline constexpr unsigned kMfString = 0x0000;
inline constexpr unsigned kMfSeparator = 0x0800;
inline constexpr unsigned kScClose = 0xF060;
inline constexpr unsigned kScMove = 0xF010;

inline constexpr int kSwShow = 5;
}  // namespace win
