# End-to-end tests of Tessarin.exe under Wine: an installation with the
# stand-in nicaiu.dll and ftd2xx.dll, a simulated USB-6008 in SetupAPI, the
# odometer converter simulator on a pty COM port, recorder.exe and winprobe,
# all in one private prefix (its own wineserver, so the service's named
# blocks meet no other test's).
include_guard(GLOBAL)
if(WIN32 AND TARGET Tessarin)
    set(e2e_driver ${CMAKE_CURRENT_LIST_DIR}/e2e_tessarin.py)
    set(e2e_common --source-dir ${CMAKE_SOURCE_DIR} --build-dir ${CMAKE_BINARY_DIR})
    # sim/ is configured after this folder: its outputs by path.
    set(e2e_programs
        --tessarin $<TARGET_FILE:Tessarin>
        --nicaiu ${CMAKE_BINARY_DIR}/sim/nicaiu-stub/bin/nicaiu.dll
        --ftd2xx ${CMAKE_BINARY_DIR}/sim/ftd2xx-stub/bin/ftd2xx.dll
        --rvupdate ${CMAKE_BINARY_DIR}/sim/rvupdate/rvupdate.exe
        --recorder ${CMAKE_BINARY_DIR}/sim/recorder/recorder.exe
        --winprobe ${CMAKE_BINARY_DIR}/sim/winprobe/winprobe.exe
        --ptyshim ${CMAKE_BINARY_DIR}/sim/libsurvey_ptyshim.so
        --inspect ${CMAKE_BINARY_DIR}/tools/inspect/survey-inspect.exe)

    add_test(NAME e2e_tessarin_prefix_start
             COMMAND python3 ${e2e_driver} ${e2e_common} --start-prefix)
    add_test(NAME e2e_tessarin_prefix_stop
             COMMAND python3 ${e2e_driver} ${e2e_common} --stop-prefix)
    set_tests_properties(e2e_tessarin_prefix_start PROPERTIES FIXTURES_SETUP tessarin_e2e
                         TIMEOUT 300 RESOURCE_LOCK tessarin_e2e LABELS "wine;e2e")
    set_tests_properties(e2e_tessarin_prefix_stop PROPERTIES FIXTURES_CLEANUP tessarin_e2e
                         TIMEOUT 120 RESOURCE_LOCK tessarin_e2e LABELS "wine;e2e")

    foreach(scenario daq-record serial setup-fails no-device window settings measure write-fails
                     read-error close-recording odometer-silent inspect daq-recovery)
        string(REPLACE "-" "_" name ${scenario})
        add_test(NAME e2e_tessarin_${name}
                 COMMAND python3 ${e2e_driver} ${e2e_common} ${e2e_programs}
                         --scenario ${scenario})
        set_tests_properties(e2e_tessarin_${name} PROPERTIES FIXTURES_REQUIRED tessarin_e2e
                             RESOURCE_LOCK tessarin_e2e TIMEOUT 240 LABELS "wine;e2e")
    endforeach()
endif()
