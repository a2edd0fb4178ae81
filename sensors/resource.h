// Resource and control identifiers of Tessarin.exe. Plain #defines: the
// resource compiler and the portable window logic both read this file.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_TESSARIN_DIALOG 102
#define IDD_SENS_SETTINGS 103

// System menu item of the about box (the low four bits stay clear).
#define IDM_ABOUTBOX 0x0010

// --- Main window: one row per input (i = 0..3: base + i) ----------------------
#define IDC_INDICATOR_0 1001  // face button: purpose label and state colour
#define IDC_COUNTER_0 1005    // change counter
#define IDC_VOLTAGE_0 1009    // voltage
#define IDC_VALUE_0 1013      // converted value
#define IDC_DISTANCE 1017     // odometer distance
#define IDC_SPEED 1018        // odometer speed
#define IDC_SETTINGS 1055     // settings button (image)
#define IDC_SNAPSHOT 1076     // snapshot button "Запись"

// --- Settings dialog ("Настройки АЦП") ------------------------------------------
#define IDC_CALIBRATION_LABEL 1021
#define IDC_CALIBRATION_BUTTON 1022
#define IDC_SLOPE_UNIT_BUTTON 1026
#define IDC_SLOPE_UNIT_LABEL 1027
#define IDC_SENSOR_TYPE_0 1028  // group "Датчики": 1028..1031, left empty
#define IDC_SENSITIVITY_0 1033
#define IDC_SENSITIVITY_1 1034
#define IDC_SENSITIVITY_2 1036
#define IDC_SENSITIVITY_3 1037
#define IDC_ENABLED_0 1043
#define IDC_ENABLED_1 1044
#define IDC_ENABLED_2 1045
#define IDC_ENABLED_3 1048
#define IDC_PURPOSE_0 1046
#define IDC_PURPOSE_1 1047
#define IDC_PURPOSE_2 1049
#define IDC_PURPOSE_3 1050
#define IDC_SENSORS_GROUP 1060
#define IDC_SENSITIVITY_GROUP 1061
#define IDC_PURPOSE_GROUP 1062
#define IDC_FILES_BUTTON 1071
#define IDC_FILES_LABEL 1072
#define IDC_ESTIMATE_BUTTON 1074
#define IDC_ESTIMATE_LABEL 1075
#define IDC_COMPENSATION_BUTTON 1078
#define IDC_COMPENSATION_LABEL 1079
#define IDC_RECOVERY_BUTTON 1080
#define IDC_RECOVERY_LABEL 1081

#define IDC_ABOUT_VERSION 1100
