# The Windows programs against the tests' MariaDB server through a real
# client library: libmariadb.dll built here from Debian's source of the
# MariaDB Connector/C (fetched by scripts/get-client-source into
# build/third-party), laid beside Orvanta.exe as the programs find it on a
# vehicle PC. Driver: e2e/real_client_e2e.py.
if(NOT WIN32)
    return()
endif()

set(SURVEY_CLIENT_SOURCE ${CMAKE_SOURCE_DIR}/build/third-party/libmariadb
    CACHE PATH "Source of the MariaDB client library (the libmariadb folder of Debian's mariadb)")
if(NOT EXISTS ${SURVEY_CLIENT_SOURCE}/CMakeLists.txt)
    message(STATUS "No MariaDB client source in ${SURVEY_CLIENT_SOURCE} (scripts/get-client-source "
                   "fetches it): the tests against the real client library are skipped")
    add_test(NAME real_client_e2e COMMAND ${CMAKE_COMMAND} -E echo
             "SKIPPED: no MariaDB client source; run scripts/get-client-source")
    set_tests_properties(real_client_e2e PROPERTIES LABELS wine SKIP_REGULAR_EXPRESSION SKIPPED)
    return()
endif()

# Built once per build tree, as a Windows x64 DLL that imports only system
# DLLs: no TLS, no external compression, the plugins the suite's server
# accounts use (native password, dialog) linked in.
include(ExternalProject)
set(_client_dir ${CMAKE_BINARY_DIR}/third-party/libmariadb)
set(SURVEY_REAL_CLIENT_DLL ${_client_dir}/libmariadb/libmariadb.dll)
ExternalProject_Add(real_client_library
    SOURCE_DIR ${SURVEY_CLIENT_SOURCE}
    BINARY_DIR ${_client_dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
               -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS=-w
               -DWITH_SSL=OFF -DWITH_CURL=OFF -DWITH_UNIT_TESTS=OFF -DWITH_EXTERNAL_ZLIB=OFF
               -DCLIENT_PLUGIN_DIALOG=STATIC -DCLIENT_PLUGIN_AUTH_GSSAPI_CLIENT=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target libmariadb
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${SURVEY_REAL_CLIENT_DLL}
    LOG_CONFIGURE ON LOG_BUILD ON LOG_OUTPUT_ON_FAILURE ON)

if(EXISTS ${CMAKE_SOURCE_DIR}/gnss/CMakeLists.txt
   AND EXISTS ${CMAKE_SOURCE_DIR}/sim/rvupdate/CMakeLists.txt
   AND EXISTS ${CMAKE_SOURCE_DIR}/sim/winprobe/CMakeLists.txt)
    # gnss/ and sim/ are configured after this folder: their outputs by path.
    set(_work ${CMAKE_CURRENT_BINARY_DIR}/real_client_e2e)
    add_test(NAME real_client_e2e
             COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/real_client_e2e.py
             WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    # A prefix of its own (the service's named blocks meet no other test's);
    # the update server's port and the database server are shared.
    set_tests_properties(real_client_e2e PROPERTIES
        FIXTURES_REQUIRED mariadb LABELS "wine;e2e" TIMEOUT 420
        RESOURCE_LOCK "port443;survey_mariadb_port"
        ENVIRONMENT "WINEPREFIX=${_work}/wineprefix;SURVEY_WINE_RUN=${SURVEY_WINE_RUN};REAL_CLIENT_DLL=${SURVEY_REAL_CLIENT_DLL};REAL_CLIENT_ORVANTA=$<TARGET_FILE:Orvanta>;REAL_CLIENT_WINPROBE=${CMAKE_BINARY_DIR}/sim/winprobe/winprobe.exe;FRAME_E2E_RVUPDATE=${CMAKE_BINARY_DIR}/sim/rvupdate/rvupdate.exe;FRAME_E2E_SERVER=${CMAKE_SOURCE_DIR}/sim/update-server/update_server.py;FRAME_E2E_WORK=${_work};SURVEY_PRODUCT_VERSION=${SURVEY_PRODUCT_VERSION};SURVEY_DB_TEST_DIR=${SURVEY_DB_TEST_DIR};SURVEY_DB_SERVER_SCRIPT=${CMAKE_SOURCE_DIR}/scripts/mariadb-test-server;${SURVEY_DB_TEST_ENV}")
endif()
