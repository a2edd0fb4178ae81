# The MySQL wrapper's tests and the private MariaDB server they run against
# (ctest fixture "mariadb", also there for other modules' tests). The server
# listens on 127.0.0.1 at the suite's database port; its account `rvapp` has
# the build's database password, so the programs' built-in one works too.
set(SURVEY_DB_TEST_PORT 58431 CACHE STRING "Port of the tests' private MariaDB server")
set(SURVEY_DB_TEST_DIR ${CMAKE_BINARY_DIR}/mariadb-test)
set(SURVEY_DB_TEST_ENV "SURVEY_DB_TEST_PORT=${SURVEY_DB_TEST_PORT}"
    "SURVEY_DB_TEST_PASSWORD=${SURVEY_DB_PASSWORD}")

# One server per port at a time: RESOURCE_LOCK within one ctest run, and the
# script's port lock (bounded wait) between separate runs such as host and
# host-asan.
add_test(NAME mariadb_server_start
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/mariadb-test-server start ${SURVEY_DB_TEST_DIR})
set_tests_properties(mariadb_server_start PROPERTIES FIXTURES_SETUP mariadb
                     RESOURCE_LOCK survey_mariadb_port TIMEOUT 330 ENVIRONMENT
                     "${SURVEY_DB_TEST_ENV};SURVEY_DB_LOCK_WAIT=240;SURVEY_DB_START_WAIT=60")
add_test(NAME mariadb_server_stop
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/mariadb-test-server stop ${SURVEY_DB_TEST_DIR})
set_tests_properties(mariadb_server_stop PROPERTIES FIXTURES_CLEANUP mariadb
                     RESOURCE_LOCK survey_mariadb_port TIMEOUT 60
                     ENVIRONMENT "${SURVEY_DB_TEST_ENV}")

# Without a server: statement building, the lock log, a missing client
# library (under Wine the real loader finds none).
set(_mysql_test_libs common_mysql_core)
if(WIN32)
    # The Win32 notifier's text conversions live in the platform layer.
    list(APPEND _mysql_test_libs platform_core platform)
endif()
survey_test(test_mysql_wrapper SOURCES test_mysql_wrapper.cpp LIBS ${_mysql_test_libs})

# Against the private server, natively.
survey_test(test_mysql_server HOST_ONLY
            SOURCES test_mysql_server.cpp test_mysql_proxy.cpp
            LIBS common_mysql_core
            FIXTURES mariadb TIMEOUT 240 ENV ${SURVEY_DB_TEST_ENV})

# Windows: the run-time loading of the client library, against a stand-in
# "libmariadb.dll" placed beside the test in a folder of its own.
if(WIN32)
    set(_loader_dir ${CMAKE_CURRENT_BINARY_DIR}/mysql_loader)
    add_library(test_mysql_standin_client SHARED test_mysql_standin_client.cpp)
    set_target_properties(test_mysql_standin_client PROPERTIES
                          OUTPUT_NAME libmariadb PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${_loader_dir})
    survey_test(test_mysql_loader WINE_ONLY SOURCES test_mysql_loader.cpp
                LIBS ${_mysql_test_libs} DEPENDS test_mysql_standin_client)
    set_target_properties(test_mysql_loader PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${_loader_dir})
endif()
