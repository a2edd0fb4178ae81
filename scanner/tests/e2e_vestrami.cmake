# End-to-end tests of Vestrami.exe under Wine: two simulated LMS100 scanners
# on loopback (sim/sopas_sim.py), recorder.exe for the recording program's
# commands and winprobe for the window, in a private prefix of their own.
include_guard(GLOBAL)
if(WIN32 AND TARGET Vestrami)
    set(e2e_driver ${CMAKE_CURRENT_LIST_DIR}/e2e_vestrami.py)
    set(e2e_common --source-dir ${CMAKE_SOURCE_DIR} --build-dir ${CMAKE_BINARY_DIR})
    # sim/ is configured after this folder: its outputs by path.
    set(e2e_programs
        --vestrami $<TARGET_FILE:Vestrami>
        --recorder ${CMAKE_BINARY_DIR}/sim/recorder/recorder.exe
        --winprobe ${CMAKE_BINARY_DIR}/sim/winprobe/winprobe.exe
        --rvupdate ${CMAKE_BINARY_DIR}/sim/rvupdate/rvupdate.exe
        --inspect ${CMAKE_BINARY_DIR}/tools/inspect/survey-inspect.exe)

    # One lock for the set: the scanners' addresses are the host's, and the
    # scan rate wants the machine to itself.
    add_test(NAME e2e_vestrami_prefix_start
             COMMAND python3 ${e2e_driver} ${e2e_common} --start-prefix)
    add_test(NAME e2e_vestrami_prefix_stop
             COMMAND python3 ${e2e_driver} ${e2e_common} --stop-prefix)
    set_tests_properties(e2e_vestrami_prefix_start PROPERTIES FIXTURES_SETUP vestrami_e2e
                         TIMEOUT 300 RESOURCE_LOCK vestrami_e2e LABELS "wine;e2e")
    set_tests_properties(e2e_vestrami_prefix_stop PROPERTIES FIXTURES_CLEANUP vestrami_e2e
                         TIMEOUT 120 RESOURCE_LOCK vestrami_e2e LABELS "wine;e2e")

    foreach(scenario bring-up commands alarms status settings closing rate close-recording
                     not-ready refused inspect recovery recovery-off)
        string(REPLACE "-" "_" name ${scenario})
        add_test(NAME e2e_vestrami_${name}
                 COMMAND python3 ${e2e_driver} ${e2e_common} ${e2e_programs}
                         --scenario ${scenario})
        set_tests_properties(e2e_vestrami_${name} PROPERTIES FIXTURES_REQUIRED vestrami_e2e
                             RESOURCE_LOCK vestrami_e2e TIMEOUT 240 LABELS "wine;e2e")
    endforeach()
    # The scanner that never becomes ready holds the bring-up for about 2 minutes.
    set_tests_properties(e2e_vestrami_not_ready PROPERTIES TIMEOUT 420)
endif()
