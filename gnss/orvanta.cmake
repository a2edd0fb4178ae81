# Orvanta.exe, the GNSS receiver service: the Win32 side over gnss_core.
include_guard(GLOBAL)
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/core.cmake)
    add_library(gnss_win STATIC
        ${CMAKE_CURRENT_LIST_DIR}/gnss_log_files.cpp
        ${CMAKE_CURRENT_LIST_DIR}/gps_mappings.cpp
        ${CMAKE_CURRENT_LIST_DIR}/serial_reader.cpp
        ${CMAKE_CURRENT_LIST_DIR}/receiver_connection.cpp
        ${CMAKE_CURRENT_LIST_DIR}/receiver_settings_xml.cpp)
    target_include_directories(gnss_win PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(gnss_win PUBLIC gnss_core platform_serial platform common)

    add_executable(Orvanta WIN32
        ${CMAKE_CURRENT_LIST_DIR}/orvanta_main.cpp
        ${CMAKE_CURRENT_LIST_DIR}/orvanta_dlg.cpp
        ${CMAKE_CURRENT_LIST_DIR}/orvanta.rc)
    target_link_options(Orvanta PRIVATE -municode)
    target_link_libraries(Orvanta PRIVATE gnss_win)
    if(TARGET platform_dialog)
        target_link_libraries(Orvanta PRIVATE platform_dialog)
    endif()
    target_link_libraries(Orvanta PRIVATE common comctl32 gdi32 user32 ole32)
    survey_program_version(Orvanta Orvanta)
    survey_program_icon(Orvanta ${CMAKE_CURRENT_LIST_DIR}/orvanta-icon.mvg)
endif()
