# Win32 pieces of the sensor service under Wine, one process, no devices.
# The shared blocks have fixed names: these tests take the lock that every
# test creating them takes.
include_guard(GLOBAL)
survey_test(test_sensors_win WINE_ONLY
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/test_daq_acquisition_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_sensor_files_win.cpp
    LIBS sensors_win platform_test_files)
if(TARGET test_sensors_win)
    set_tests_properties(test_sensors_win PROPERTIES RESOURCE_LOCK sensor_shared_memory)
    # The DAQ stand-in, loaded once as NI's library would be (sim/ is
    # configured after this folder: by path).
    target_compile_definitions(test_sensors_win PRIVATE
        SENSORS_TEST_NICAIU="${CMAKE_BINARY_DIR}/sim/nicaiu-stub/bin/nicaiu.dll")
    add_dependencies(test_sensors_win survey_nicaiu_stub)
endif()

# The end-to-end tests' client of the shared blocks.
if(WIN32)
    add_executable(test_tessarin_client ${CMAKE_CURRENT_LIST_DIR}/test_tessarin_client.cpp)
    target_link_options(test_tessarin_client PRIVATE -municode)
    target_link_libraries(test_tessarin_client PRIVATE platform sensors_core)
endif()
