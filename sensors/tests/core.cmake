include_guard(GLOBAL)
survey_test(sensors_core_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/test_conversions.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_pulse_detectors.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_sensor_lines.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_sample_processor.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_odometer_lines.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_sensor_config.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_settings_model.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_display_model.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_layout.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_recording_control.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_startup_checks.cpp
    LIBS sensors_core)
survey_benchmark(sensors_core_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_sample_path.cpp
    LIBS sensors_core)
survey_fuzz_target(fuzz_sensor_commands
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_sensor_commands.cpp
    LIBS sensors_core MAX_LEN 300
    SEEDS ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds/commands)
survey_fuzz_target(fuzz_odometer_stream
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_odometer_stream.cpp
    LIBS sensors_core MAX_LEN 4096
    SEEDS ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds/odometer)
survey_fuzz_target(fuzz_sensor_config
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_sensor_config.cpp
    LIBS sensors_core MAX_LEN 8192
    SEEDS ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds/config)
