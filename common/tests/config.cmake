# Tests of the start-up services (settings, registry, XML configuration,
# product version).
survey_test(common_settings_core_tests
            SOURCES test_scrambled_text.cpp test_app_settings_core.cpp
            LIBS common_settings_core
            ENV "SURVEY_EXPECT_DB_PASSWORD=${SURVEY_DB_PASSWORD}"
                "SURVEY_EXPECT_UPDATE_HOST=${SURVEY_UPDATE_HOST}"
                "SURVEY_SETTINGS_LIBRARY=$<TARGET_FILE:common_settings_core>")

if(WIN32)
    # The other program of the suite that saves the same file at the same time.
    add_executable(xml_config_child xml_config_child.cpp)
    target_link_libraries(xml_config_child PRIVATE common_config)
    target_link_options(xml_config_child PRIVATE -municode)
    survey_test(common_xml_config_tests WINE_ONLY SOURCES test_xml_config.cpp LIBS common_config
                DEPENDS xml_config_child)

    survey_test(common_registry_tests WINE_ONLY SOURCES test_reg_settings_win.cpp
                LIBS common_config)
    # Tests that use the suite's registry keys of the prefix run one at a time.
    set_tests_properties(common_registry_tests PROPERTIES RESOURCE_LOCK survey_registry)

    # Version probes: a US English block of the suite's version, and none.
    add_executable(common_version_probe_us test_version_probe_main.cpp)
    survey_version_resource(common_version_probe_us NAME "common_version_probe_us.exe"
                            DESCRIPTION "Version probe" LANG 0409)
    add_executable(common_version_probe_none test_version_probe_main.cpp)
    # The three programs' own blocks, each under its program's name.
    set(program_probes)
    foreach(program Orvanta Vestrami Tessarin)
        add_executable(common_version_probe_${program} test_version_probe_main.cpp)
        survey_program_version(common_version_probe_${program} ${program})
        list(APPEND program_probes common_version_probe_${program})
    endforeach()
    survey_test(common_version_tests WINE_ONLY SOURCES test_product_version.cpp
                LIBS common_frame common_settings_core DEPENDS common_version_probe_us common_version_probe_none
                ${program_probes})
    target_compile_definitions(common_version_tests PRIVATE
                               SURVEY_PRODUCT_VERSION_W=L\"${SURVEY_PRODUCT_VERSION}\")
    # The test program itself carries a Russian block written "10, 6, 5, 1".
    block()
        set(SURVEY_VERSION_MAJOR 10)
        set(SURVEY_VERSION_MINOR 6)
        set(SURVEY_VERSION_BUILD 5)
        set(SURVEY_VERSION_REVISION 1)
        survey_version_resource(common_version_tests NAME "common_version_tests.exe"
                                DESCRIPTION "Версия для проверки" LANG 0419)
    endblock()
endif()

# The application frame, through a probe program that runs it.
if(WIN32 AND TARGET common_frame)
    add_executable(frame_probe test_frame_probe_main.cpp)
    target_link_libraries(frame_probe PRIVATE common_frame)
    target_link_options(frame_probe PRIVATE -municode)
    set(frame_test_env)
    set(frame_test_depends frame_probe)
    # With the update step's library the probe can also run the real checker
    # (common_frame_update is defined at the end of common/).
    if(TARGET common_update)
        target_link_libraries(frame_probe PRIVATE common_frame_update)
        target_compile_definitions(frame_probe PRIVATE FRAME_PROBE_HAS_CHECKER=1)
        if(EXISTS ${CMAKE_SOURCE_DIR}/sim/rvupdate/CMakeLists.txt)
            list(APPEND frame_test_env "SURVEY_RVUPDATE_EXE=$<TARGET_FILE:rvupdate>")
            list(APPEND frame_test_depends rvupdate)
        endif()
    endif()
    block()
        set(SURVEY_VERSION_MAJOR 10)
        set(SURVEY_VERSION_MINOR 6)
        set(SURVEY_VERSION_BUILD 5)
        set(SURVEY_VERSION_REVISION 1)
        survey_version_resource(frame_probe NAME "frame_probe.exe" DESCRIPTION "Frame probe"
                                LANG 0419)
    endblock()
    survey_test(common_frame_tests WINE_ONLY SOURCES test_app_frame.cpp
                DEPENDS ${frame_test_depends} ENV ${frame_test_env} TIMEOUT 240)
    set_tests_properties(common_frame_tests PROPERTIES RESOURCE_LOCK survey_registry)
endif()
