# scanner_core: the portable core of the scanner service (SOPAS framing and
# replies, start sequence, clearance check, log lines and files, recorder
# commands, slot configuration, indicator, layouts, profile view, alarm tone).
include_guard(GLOBAL)
survey_core_library(scanner_core
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/sopas_protocol.cpp
        ${CMAKE_CURRENT_LIST_DIR}/reply_framer.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_reply_parser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/start_sequence.cpp
        ${CMAKE_CURRENT_LIST_DIR}/clearance_check.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_log_line.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_log_files.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_commands.cpp
        ${CMAKE_CURRENT_LIST_DIR}/slot_config.cpp
        ${CMAKE_CURRENT_LIST_DIR}/recording_indicator.cpp
        ${CMAKE_CURRENT_LIST_DIR}/vestrami_layout.cpp
        ${CMAKE_CURRENT_LIST_DIR}/picture_view.cpp
        ${CMAKE_CURRENT_LIST_DIR}/alarm_beeper.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_pipeline.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settings_form.cpp
    LIBS platform_core)
