include_guard(GLOBAL)
survey_test(scanner_core_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/test_sopas_protocol.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_scan_reply_parser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_start_sequence.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_clearance_check.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_scan_log_line.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_scan_commands.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_slot_config.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_dialog_rules.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_picture_view.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_scan_pipeline.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_settings_form.cpp
    LIBS scanner_core)
survey_benchmark(scanner_core_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_scan_path.cpp
    LIBS scanner_core)
survey_fuzz_target(fuzz_scan_reply
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_scan_reply.cpp
    LIBS scanner_core MAX_LEN 24000
    SEEDS ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds/reply ${CMAKE_SOURCE_DIR}/../shared/data/sopas)
survey_fuzz_target(fuzz_scanner_commands
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_scanner_commands.cpp
    LIBS scanner_core MAX_LEN 300
    SEEDS ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds/commands)
survey_fuzz_target(fuzz_slot_config
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_slot_config.cpp
    LIBS scanner_core MAX_LEN 8192
    SEEDS ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds/config)
