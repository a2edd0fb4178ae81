# Tessarin.exe, the sensor service: the Win32 side over sensors_core.
include_guard(GLOBAL)
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/core.cmake)
    add_library(sensors_win STATIC
        ${CMAKE_CURRENT_LIST_DIR}/daqmx_library.cpp
        ${CMAKE_CURRENT_LIST_DIR}/device_discovery.cpp
        ${CMAKE_CURRENT_LIST_DIR}/daq_acquisition.cpp
        ${CMAKE_CURRENT_LIST_DIR}/odometer_port.cpp
        ${CMAKE_CURRENT_LIST_DIR}/sensor_hub.cpp
        ${CMAKE_CURRENT_LIST_DIR}/sensor_mappings.cpp
        ${CMAKE_CURRENT_LIST_DIR}/recording_files.cpp
        ${CMAKE_CURRENT_LIST_DIR}/config_store_xml.cpp)
    target_include_directories(sensors_win PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(sensors_win PUBLIC sensors_core platform common_config setupapi)

    add_executable(Tessarin WIN32
        ${CMAKE_CURRENT_LIST_DIR}/tessarin_main.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tessarin_dlg.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tessarin_sources.cpp
        ${CMAKE_CURRENT_LIST_DIR}/sens_settings_dlg.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settings_icon.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tessarin.rc)
    target_link_options(Tessarin PRIVATE -municode)
    target_link_libraries(Tessarin PRIVATE sensors_win platform_dialog common comctl32 gdi32
                          user32 ole32)
    survey_program_version(Tessarin Tessarin)
    survey_program_icon(Tessarin ${CMAKE_CURRENT_LIST_DIR}/tessarin-icon.mvg)
endif()
