// Resource identifiers of Orvanta.exe.
#pragma once

#define IDD_ORVANTA_DIALOG 102
#define IDD_ABOUTBOX 100
#define IDR_MAINFRAME 128

// System menu item of the about box (the low four bits stay clear, as the
// system menu requires).
#define IDM_ABOUTBOX 0x0010

#define IDC_PATH_LABEL 1000
#define IDC_PORT_LIST 1001
#define IDC_PATH_RESET 1002
#define IDC_TRIP 1003
#define IDC_SATELLITES 1004
#define IDC_PORT 1005
#define IDC_TOTAL_LABEL 1006
#define IDC_START_TIME 1007
#define IDC_RUN_TIME 1008
#define IDC_SPEED 1009
#define IDC_TOTAL 1010
#define IDC_ACCELERATION 1012
#define IDC_START_LABEL 1014
#define IDC_RUN_LABEL 1015
#define IDC_INFO 1017
#define IDC_UTC_LABEL 1019
#define IDC_LOCAL_LABEL 1020
#define IDC_UTC_TIME 1021
#define IDC_LOCAL_TIME 1022
#define IDC_DATE_LABEL 1023
#define IDC_DATE 1025

#define IDC_ABOUT_VERSION 1100
