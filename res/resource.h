// Resource and command numbers of the Windows wizard, shared by res/koushin.rc and app/win32.
#pragma once

// Resource set 128: icon, program name, manifest-bearing executable.
#define IDR_MAINFRAME 128

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_DESTINATION 130
#define IDD_NOTICE 132
#define IDD_CONFIRM 133

// Controls.
#define IDC_DRIVE_LIST 1002
#define IDC_FOLDER_LIST 1003
#define IDC_RESTORE_CHECK 1004
#define IDC_FOLDER_EDIT 1005
#define IDC_TEXT 1006
#define IDC_PICTURE 1007
#define IDC_BACK 1008

// Commands the view and the frame post to themselves.
#define ID_WIZARD_NOTICE 101
#define ID_WIZARD_DESTINATION 102
#define ID_WIZARD_CONFIRM 103
#define ID_LOAD_TITLE 104
#define ID_DESCRIPTION_INVALID 105  // the view says info.txt cannot be used, then ends
#define ID_APP_ABOUT 57664

// String table.
#define IDS_PROGRAM_NAME 128
