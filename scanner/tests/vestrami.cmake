# Win32 pieces of the scanner service under Wine: the scanner client against
# a loopback peer in the test process, the ping, the named blocks and the
# acquisition with its recorder exchange. The named blocks have fixed names:
# these tests take the lock every test that creates them takes.
include_guard(GLOBAL)
if(WIN32 AND TARGET scanner_win)
    survey_test(scanner_win_tests WINE_ONLY TIMEOUT 240
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/test_lms100_client_win.cpp
            ${CMAKE_CURRENT_LIST_DIR}/test_ping_win.cpp
            ${CMAKE_CURRENT_LIST_DIR}/test_scan_exchange_win.cpp
            ${CMAKE_CURRENT_LIST_DIR}/loopback_scanner.cpp
        LIBS scanner_win)
    set_tests_properties(scanner_win_tests PROPERTIES RESOURCE_LOCK scanner_shared_memory)

    # The profile display in a window and the configuration store.
    survey_test(scanner_ui_tests WINE_ONLY TIMEOUT 120
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/test_picture_win.cpp
            ${CMAKE_SOURCE_DIR}/platform/tests/test_dialog_support.cpp
        LIBS scanner_ui scanner_win)
    target_include_directories(scanner_ui_tests PRIVATE ${CMAKE_SOURCE_DIR}/platform/tests)
endif()
