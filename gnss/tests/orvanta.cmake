# End-to-end tests of Orvanta.exe under Wine: the receiver simulator on a pty
# mapped as a COM port of a private prefix, a small client of the shared
# blocks, and winprobe for the window.
include_guard(GLOBAL)
if(WIN32 AND TARGET Orvanta)
    add_executable(test_orvanta_client test_orvanta_client.cpp)
    target_link_libraries(test_orvanta_client PRIVATE platform)

    set(e2e_driver ${CMAKE_CURRENT_SOURCE_DIR}/e2e_orvanta.py)
    set(e2e_common --source-dir ${CMAKE_SOURCE_DIR} --build-dir ${CMAKE_BINARY_DIR})
    # The demo's client of gps.dll; it loads the library at run time.
    add_executable(e2e_gps_fix_client e2e_gps_fix_client.cpp)
    target_include_directories(e2e_gps_fix_client PRIVATE ${CMAKE_SOURCE_DIR})
    # The tests' client of gps.dll, driven step by step; it loads the library
    # at run time too.
    add_executable(e2e_gps_dll_client e2e_gps_dll_client.cpp)
    target_include_directories(e2e_gps_dll_client PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(e2e_gps_dll_client PRIVATE platform)

    # gps/ and sim/ are configured after this folder: their outputs by path.
    set(e2e_programs
        --orvanta $<TARGET_FILE:Orvanta> --client $<TARGET_FILE:test_orvanta_client>
        --ptyshim ${CMAKE_BINARY_DIR}/sim/libsurvey_ptyshim.so
        --winprobe ${CMAKE_BINARY_DIR}/sim/winprobe/winprobe.exe
        --gps-dll ${CMAKE_BINARY_DIR}/bin/gps.dll
        --gps-client $<TARGET_FILE:e2e_gps_dll_client>
        --rvupdate ${CMAKE_BINARY_DIR}/sim/rvupdate/rvupdate.exe
        --inspect ${CMAKE_BINARY_DIR}/tools/inspect/survey-inspect.exe)

    add_test(NAME e2e_orvanta_prefix_start
             COMMAND python3 ${e2e_driver} ${e2e_common} --start-prefix)
    add_test(NAME e2e_orvanta_prefix_stop
             COMMAND python3 ${e2e_driver} ${e2e_common} --stop-prefix)
    set_tests_properties(e2e_orvanta_prefix_start PROPERTIES FIXTURES_SETUP orvanta_e2e
                         TIMEOUT 300 RESOURCE_LOCK orvanta_e2e LABELS "wine;e2e")
    set_tests_properties(e2e_orvanta_prefix_stop PROPERTIES FIXTURES_CLEANUP orvanta_e2e
                         TIMEOUT 120 RESOURCE_LOCK orvanta_e2e LABELS "wine;e2e")

    foreach(scenario configured wrong-speed missing-port no-receiver late-receiver silent window
                     run-log run-log-restart rescan clock-check clock-set data-gap gps-dll
                     gps-dll-silent inspect receiver-back receiver-back-off)
        string(REPLACE "-" "_" name ${scenario})
        add_test(NAME e2e_orvanta_${name}
                 COMMAND python3 ${e2e_driver} ${e2e_common} ${e2e_programs}
                         --scenario ${scenario})
        set_tests_properties(e2e_orvanta_${name} PROPERTIES FIXTURES_REQUIRED orvanta_e2e
                             RESOURCE_LOCK orvanta_e2e TIMEOUT 180 LABELS "wine;e2e")
    endforeach()
    # Every capture of ../shared/data/nmea replayed against its expected
    # records and day log (e2e_orvanta_replay.py; skipped without captures).
    add_test(NAME e2e_orvanta_replay
             COMMAND python3 ${e2e_driver} ${e2e_common} ${e2e_programs} --scenario replay)
    set_tests_properties(e2e_orvanta_replay PROPERTIES FIXTURES_REQUIRED orvanta_e2e
                         RESOURCE_LOCK orvanta_e2e TIMEOUT 420 LABELS "wine;e2e"
                         SKIP_REGULAR_EXPRESSION "SKIPPED: no captures")

    # A few scenarios again in a prefix of their own whose zone is half an
    # hour off the whole hours (UTC+5:30): names, stamps and the local GNSS
    # time against the zone's full offset. One lock with the scenarios above:
    # the service's time limits want the machine to themselves.
    set(kolkata_dir ${CMAKE_BINARY_DIR}/e2e-orvanta-kolkata)
    set(kolkata --prefix ${kolkata_dir}/wineprefix --work ${kolkata_dir})
    add_test(NAME e2e_orvanta_kolkata_prefix_start
             COMMAND python3 ${e2e_driver} ${e2e_common} ${kolkata} --start-prefix)
    add_test(NAME e2e_orvanta_kolkata_prefix_stop
             COMMAND python3 ${e2e_driver} ${e2e_common} ${kolkata} --stop-prefix)
    set_tests_properties(e2e_orvanta_kolkata_prefix_start PROPERTIES
                         FIXTURES_SETUP orvanta_e2e_kolkata ENVIRONMENT "TZ=Asia/Kolkata"
                         TIMEOUT 300 RESOURCE_LOCK orvanta_e2e LABELS "wine;e2e")
    set_tests_properties(e2e_orvanta_kolkata_prefix_stop PROPERTIES
                         FIXTURES_CLEANUP orvanta_e2e_kolkata TIMEOUT 120
                         RESOURCE_LOCK orvanta_e2e LABELS "wine;e2e")
    foreach(scenario configured window run-log)
        string(REPLACE "-" "_" name ${scenario})
        add_test(NAME e2e_orvanta_kolkata_${name}
                 COMMAND python3 ${e2e_driver} ${e2e_common} ${e2e_programs} ${kolkata}
                         --scenario ${scenario})
        set_tests_properties(e2e_orvanta_kolkata_${name} PROPERTIES
                             FIXTURES_REQUIRED orvanta_e2e_kolkata
                             RESOURCE_LOCK orvanta_e2e TIMEOUT 180 LABELS "wine;e2e")
    endforeach()
endif()

# Win32 pieces of the service, one process, no receiver needed. The shared
# blocks have fixed names: these tests take the same lock as the end-to-end
# ones and any other test that creates them.
survey_test(test_orvanta_win WINE_ONLY SOURCES test_orvanta_win.cpp LIBS gnss_win)
if(TARGET test_orvanta_win)
    set_tests_properties(test_orvanta_win PROPERTIES RESOURCE_LOCK gnss_shared_memory)
endif()
