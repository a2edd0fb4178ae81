# Vestrami.exe, the laser scanner service: the Win32 side over scanner_core.
include_guard(GLOBAL)
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/core.cmake)
    # The scanner client, ping, named blocks, configuration store and the
    # acquisition: everything but the windows.
    add_library(scanner_win STATIC
        ${CMAKE_CURRENT_LIST_DIR}/lms100_client.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ping.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_mappings.cpp
        ${CMAKE_CURRENT_LIST_DIR}/xml_slot_store.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_acquisition.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_acquisition_exchange.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_recovery.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_trigger.cpp)
    target_include_directories(scanner_win PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(scanner_win PUBLIC scanner_core platform common ws2_32 winmm)

    # The profile display (Direct2D, DirectWrite) and the settings dialog.
    add_library(scanner_ui STATIC
        ${CMAKE_CURRENT_LIST_DIR}/scanner_picture.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settings_dialog.cpp)
    target_include_directories(scanner_ui PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(scanner_ui PUBLIC scanner_core platform_dialog d2d1 dwrite)

    # The main dialog and the program.
    add_executable(Vestrami WIN32
        ${CMAKE_CURRENT_LIST_DIR}/vestrami_main.cpp
        ${CMAKE_CURRENT_LIST_DIR}/vestrami_dlg.cpp
        ${CMAKE_CURRENT_LIST_DIR}/vestrami_dlg_controls.cpp
        ${CMAKE_CURRENT_LIST_DIR}/vestrami.rc)
    target_link_options(Vestrami PRIVATE -municode)
    target_link_libraries(Vestrami PRIVATE scanner_ui scanner_win platform_dialog common comctl32
                          gdi32 user32 ole32)
    survey_program_version(Vestrami Vestrami)
    survey_program_icon(Vestrami ${CMAKE_CURRENT_LIST_DIR}/vestrami-icon.mvg)
endif()
