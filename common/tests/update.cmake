# Tests of the HTTP client, the encodings and the update flow.
survey_test(test_update_core HOST_ONLY
            SOURCES test_http_encodings.cpp test_update_protocol.cpp test_update_core.cpp
            LIBS common_update_core)

# The update flow against the tests' MariaDB server and the in-process update server.
survey_test(test_update_mariadb HOST_ONLY SOURCES test_update_mariadb.cpp test_mysql_proxy.cpp
            LIBS common_update_core
            FIXTURES mariadb TIMEOUT 240
            ENV "SURVEY_DB_TEST_PORT=${SURVEY_DB_TEST_PORT}"
                "SURVEY_DB_TEST_PASSWORD=${SURVEY_DB_PASSWORD}")
if(TEST test_update_mariadb)
    set_tests_properties(test_update_mariadb PROPERTIES RESOURCE_LOCK survey_mariadb_port)
endif()

# Wine: the WinINet client and the update step's Win32 parts against the test
# update server on 127.0.0.1:443 and a CONNECT proxy, both run around the test
# by sim/update-server/run-with-servers (port 443 is shared: RESOURCE_LOCK).
if(WIN32)
    set(_update_servers ${CMAKE_SOURCE_DIR}/sim/update-server/run-with-servers)
    set(_update_proxy_port 58492)
    set(_rvupdate_exe "")
    if(EXISTS ${CMAKE_SOURCE_DIR}/sim/rvupdate/CMakeLists.txt)
        set(_rvupdate_exe "$<TARGET_FILE:rvupdate>")
    endif()
    foreach(_t test_http_win test_update_win)
        add_executable(${_t} ${_t}.cpp)
        target_link_libraries(${_t} PRIVATE common_update GTest::gmock GTest::gtest_main)
        add_test(NAME ${_t}
                 COMMAND ${_update_servers} ${CMAKE_CURRENT_BINARY_DIR}/${_t}.servers
                         ${_update_proxy_port} -- ${SURVEY_WINE_RUN} $<TARGET_FILE:${_t}>
                 WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
        set_tests_properties(${_t} PROPERTIES
            FIXTURES_REQUIRED wine LABELS wine TIMEOUT 240 RESOURCE_LOCK port443
            ENVIRONMENT "WINEPREFIX=${SURVEY_WINEPREFIX};SURVEY_SOURCE_DIR=${CMAKE_SOURCE_DIR};SURVEY_BINARY_DIR=${CMAKE_BINARY_DIR};SURVEY_RVUPDATE_EXE=${_rvupdate_exe}")
    endforeach()
    if(_rvupdate_exe)
        add_dependencies(test_update_win rvupdate)
    endif()
endif()

survey_fuzz_target(fuzz_update_replies SOURCES fuzz_update_replies.cpp LIBS common_update_core
                   SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz-seeds/update)
