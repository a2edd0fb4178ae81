# sensors_core: the portable core of the sensor service (conversions, pulse
# detectors, the per-sample path and its lines, the odometer's line
# assembly, configuration rules, settings, display and layout logic).
include_guard(GLOBAL)
survey_core_library(sensors_core
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/sensor_types.cpp
        ${CMAKE_CURRENT_LIST_DIR}/sensor_texts.cpp
        ${CMAKE_CURRENT_LIST_DIR}/conversions.cpp
        ${CMAKE_CURRENT_LIST_DIR}/pulse_detectors.cpp
        ${CMAKE_CURRENT_LIST_DIR}/text_writer.cpp
        ${CMAKE_CURRENT_LIST_DIR}/sensor_lines.cpp
        ${CMAKE_CURRENT_LIST_DIR}/sample_processor.cpp
        ${CMAKE_CURRENT_LIST_DIR}/odometer_lines.cpp
        ${CMAKE_CURRENT_LIST_DIR}/display_model.cpp
        ${CMAKE_CURRENT_LIST_DIR}/layout.cpp
        ${CMAKE_CURRENT_LIST_DIR}/sensor_config.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settings_model.cpp
        ${CMAKE_CURRENT_LIST_DIR}/recording_control.cpp
        ${CMAKE_CURRENT_LIST_DIR}/startup_checks.cpp
    LIBS platform_core)
