// Resource and command identifiers, shared by the dialog code, the resource
// script and the headless templates.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDS_NOT_SELECTED 102
#define IDS_LIST_EMPTY 103
#define IDD_TAVVEL 102
#define IDR_MAINFRAME 128
#define IDR_MENU 130

#define IDC_FILE_LIST 1000
#define IDC_FILE_MODE 1003
#define IDC_CRLF 1004
#define IDC_CHAR_CODE 1005
#define IDC_REP_MODE 1006
#define IDC_INSERT_SEP 1007
#define IDC_SEP_FILE 1008
#define IDC_BROWSE_SEP 1009
#define IDC_REP_FILE 1010
#define IDC_BROWSE_REP 1011
#define IDC_PROGRESS 1012
#define IDC_JOIN 1013
#define IDC_STATUS 1014
#define IDC_MOVE_UP 1015
#define IDC_MOVE_DOWN 1016
#define IDC_DELETE 1017
#define IDC_ADD 1018

#define IDM_ABOUTBOX 0x0010
#define ID_LIST_DELETE 32771
#define ID_LIST_DELETE_ALL 32772
#define ID_LIST_SORT_ASCENDING 32774
#define ID_LIST_SORT_DESCENDING 32775
#define ID_LIST_ADD 32776
#define ID_LIST_MOVE_UP 32777
#define ID_LIST_MOVE_DOWN 32778
#define ID_FILE_JOIN 32779
#define ID_HELP_README 32780
#define ID_LIST_DESELECT 32781

