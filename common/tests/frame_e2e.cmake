# End-to-end runs of a program's start-up under Wine: the frame probe copied
# into installation-like folders with the stand-in client library and
# updater, the real update checker, the test update server on 127.0.0.1:443
# and the suite's registry values of the prefix (both shared with other
# tests: RESOURCE_LOCK). Driver: e2e/frame_e2e.py.

# The stand-in client library itself: its script and its robustness.
if(WIN32 AND EXISTS ${CMAKE_SOURCE_DIR}/sim/libmysql-stub/CMakeLists.txt)
    survey_test(test_frame_e2e_libmysql_stub WINE_ONLY SOURCES test_frame_e2e_libmysql_stub.cpp
                DEPENDS survey_libmysql_stub
                ENV "FRAME_E2E_LIBMYSQL=$<TARGET_FILE:survey_libmysql_stub>")
endif()

if(WIN32 AND TARGET frame_probe AND TARGET common_update
   AND EXISTS ${CMAKE_SOURCE_DIR}/sim/libmysql-stub/CMakeLists.txt
   AND EXISTS ${CMAKE_SOURCE_DIR}/sim/rvupdate/CMakeLists.txt
   AND EXISTS ${CMAKE_SOURCE_DIR}/sim/update-server/update_server.py)
    add_test(NAME common_frame_e2e
             COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/frame_e2e.py
             WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(common_frame_e2e PROPERTIES
        FIXTURES_REQUIRED wine LABELS wine TIMEOUT 300
        RESOURCE_LOCK "survey_registry;port443"
        ENVIRONMENT "WINEPREFIX=${SURVEY_WINEPREFIX};SURVEY_WINE_RUN=${SURVEY_WINE_RUN};FRAME_E2E_PROBE=$<TARGET_FILE:frame_probe>;FRAME_E2E_RVUPDATE=$<TARGET_FILE:rvupdate>;FRAME_E2E_LIBMYSQL=$<TARGET_FILE:survey_libmysql_stub>;FRAME_E2E_SERVER=${CMAKE_SOURCE_DIR}/sim/update-server/update_server.py;FRAME_E2E_WORK=${CMAKE_CURRENT_BINARY_DIR}/frame_e2e")
endif()
