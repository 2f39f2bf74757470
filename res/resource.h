// Resource and control ids shared by every front end: the Win32 resource
// script includes it, and so does the portable window logic.
#pragma once

#define IDD_MAIN 102
#define IDD_NOTES 166

#define IDI_MAIN 135

#define IDB_BOARD_INTERFACE 155
#define IDB_BOARD 157
#define IDB_BOARD_DISPLAY 158
#define IDB_DEVICE 160
#define IDB_DEVICE_ACCESS 163
#define IDB_NOTE_READY 168
#define IDB_NOTE_SETUP 169

#define IDC_UPDATE 1000
#define IDC_BROWSE 1002
#define IDC_FILE_NAME 1005
#define IDC_PROGRESS 1009
#define IDC_LOG 1010
#define IDC_STEP2 1016
#define IDC_STEP6 1017
#define IDC_STEP4 1018
#define IDC_STEP3 1019
#define IDC_STEP5 1020
#define IDC_FIRST_TIME 1021
#define IDC_STEP1 1022
#define IDC_INTERFACE_BOARD 1031
#define IDC_DISPLAY_BOARD 1032
#define IDC_BOARD_PICTURE 1038
#define IDC_DEVICE_PICTURE 1040
#define IDC_NOTES 1041

// Ids are per template: the Notes dialog reuses 1018.
#define IDC_NOTES_FIRST_TEXT 1018
#define IDC_NOTES_WAIT_TEXT 1044
#define IDC_NOTES_SETUP_PICTURE 1045
#define IDC_NOTES_READY_PICTURE 1046

#define TIMER_PROGRESS 2
