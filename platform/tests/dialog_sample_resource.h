// Control and template ids of the sample dialogs the dialog-layer tests (and
// the window-probe tests) open.
#pragma once

#define IDD_SAMPLE 100
#define IDD_PROGRESS 6001

#define IDC_SETTINGS 1004
#define IDC_VIEW 1024
#define IDC_INFO 1017
#define IDC_SCANNER_LIST 1035
#define IDC_ANGLE_SLIDER 1027
#define IDC_ANGLE_EDIT 1011
#define IDC_ADDRESS 1008
#define IDC_CONNECTED 1006
#define IDC_STATUS_TEXT 1047
#define IDC_PROGRESS 6002
#define IDC_PROGRESS_TEXT 6003
