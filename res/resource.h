// Resource and control ids shared by the resource script and the dialogs.
// The test driver finds the controls by these numbers, so they never change.
#pragma once

#define IDI_KILN 101
#define IDD_SETTINGS 102
#define IDD_VERSION 104
#define IDD_PROGRESS 105
#define IDD_INSTALL 106

#define IDM_VERSION 104  // system-menu item "ヴァージョン表示"

// Settings dialog (102)
#define IDC_ADD 3
#define IDC_DELETE 4
#define IDC_UNINST 5
#define IDC_MODE 1000
#define IDC_SELECTED_SETS 1008
#define IDC_AVAILABLE_SETS 1011
#define IDC_OVERWRITE 1012
#define IDC_DEBUG 1013
#define IDC_DIRLIST 1014
#define IDC_TARGETDIR 1015
#define IDC_PRIORITY 1022
#define IDC_REACTION_STOP 1025
#define IDC_REACTION_CONFIRM 1026
#define IDC_REACTION_IGNORE 1027

// Version dialog (104)
#define IDC_VERSION_LINE 1003

// Progress dialog (105)
#define IDC_DETAILED 3
#define IDC_PROGRESS_BAR 1004
#define IDC_STATE_LINE 1005
#define IDC_COMMAND_LINE 1006
#define IDC_TIME_LINE 1018
#define IDC_SIMPLE 1020

// Install dialog (106)
#define IDC_BROWSE 3
#define IDC_DEFINITION_PATH 1016
