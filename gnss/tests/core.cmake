include_guard(GLOBAL)
survey_test(gnss_core_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/test_nmea_framer.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_nmea_parser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_nmea_captures.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_motion.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_clock_check.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_gps_record.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_gnss_logs_format.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_client_commands.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_display_model.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_receiver_watch.cpp
    LIBS gnss_core)
survey_benchmark(gnss_core_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_nmea_path.cpp
    LIBS gnss_core)
survey_fuzz_target(fuzz_nmea_path
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_nmea_path.cpp
    LIBS gnss_core gps_core
    SEEDS ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds/nmea ${CMAKE_SOURCE_DIR}/../shared/data/nmea)
survey_fuzz_target(fuzz_receiver_config
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_receiver_config.cpp
    LIBS gnss_core MAX_LEN 4096
    SEEDS ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds/config)
