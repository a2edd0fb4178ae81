# Build conventions shared by every module.
#
# Each module has a portable core library (no Win32 headers; built by the
# host and the win presets) and, on Windows only, its Win32 layer.
# survey_test() registers a GoogleTest executable: natively on the host
# preset, through scripts/wine-run on the win preset.

set(SURVEY_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run)

if(WIN32)
    add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601
                            WINVER=0x0601 _CRT_SECURE_NO_WARNINGS)
    # Static runtime: the binaries need only system DLLs beside them.
    add_link_options(-static -static-libgcc -static-libstdc++)
    add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
    # Wine processes of the tests share one prefix per build tree.
    set(SURVEY_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
else()
    add_compile_options(-Wall -Wextra -Wno-unused-parameter)
    if(SURVEY_FUZZ)
        # Every library is instrumented for coverage; only the targets link
        # libFuzzer's main.
        add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                            -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    elseif(SURVEY_SANITIZE)
        add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                            -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    endif()
endif()

macro(survey_setup_googletest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    if(WIN32)
        # Start the Wine environment (prefix, locale, display) once per ctest run.
        add_test(NAME wine_env_start COMMAND ${SURVEY_WINE_RUN} --start)
        set_tests_properties(wine_env_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT
                             "WINEPREFIX=${SURVEY_WINEPREFIX}")
        add_test(NAME wine_env_stop COMMAND ${SURVEY_WINE_RUN} --stop)
        set_tests_properties(wine_env_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT
                             "WINEPREFIX=${SURVEY_WINEPREFIX}")
    endif()
endmacro()

# survey_test(<name> SOURCES ... [LIBS ...] [WINE_ONLY] [HOST_ONLY] [GUI]
#             [TIMEOUT s] [ENV VAR=VALUE ...] [FIXTURES ...] [ARGS ...])
# A test that is WINE_ONLY is skipped by the host preset; HOST_ONLY by the win preset.
function(survey_test name)
    cmake_parse_arguments(T "WINE_ONLY;HOST_ONLY;GUI;NO_GTEST" "TIMEOUT"
                          "SOURCES;LIBS;ENV;FIXTURES;ARGS;DEPENDS" ${ARGN})
    if(T_WINE_ONLY AND NOT WIN32)
        return()
    endif()
    if(T_HOST_ONLY AND WIN32)
        return()
    endif()
    if(SURVEY_FUZZ)
        return()  # the fuzz build has its targets only
    endif()
    add_executable(${name} ${T_SOURCES})
    if(T_NO_GTEST)
        target_link_libraries(${name} PRIVATE ${T_LIBS})
    else()
        target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
    endif()
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 180)
    endif()
    set(env "SURVEY_SOURCE_DIR=${CMAKE_SOURCE_DIR}" "SURVEY_BINARY_DIR=${CMAKE_BINARY_DIR}" ${T_ENV})
    if(WIN32)
        add_test(NAME ${name} COMMAND ${SURVEY_WINE_RUN} $<TARGET_FILE:${name}> ${T_ARGS}
                 WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
        list(APPEND env "WINEPREFIX=${SURVEY_WINEPREFIX}")
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "wine;${T_FIXTURES}"
                             LABELS "wine")
    else()
        add_test(NAME ${name} COMMAND ${name} ${T_ARGS}
                 WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
        set_tests_properties(${name} PROPERTIES LABELS "host")
        if(T_FIXTURES)
            set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
        endif()
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
endfunction()

# survey_fuzz_target(<name> SOURCES ... LIBS ... [SEEDS dir ...] [MAX_LEN bytes])
# A libFuzzer target of the fuzz preset (SURVEY_FUZZ). ctest runs it for
# SURVEY_FUZZ_SECONDS on a corpus kept in the build tree, started from the
# seed folders that exist (the project's own, and captures beside the
# checkout when they are there); scripts/fuzz runs it for longer.
function(survey_fuzz_target name)
    cmake_parse_arguments(F "" "MAX_LEN" "SOURCES;LIBS;SEEDS" ${ARGN})
    if(NOT SURVEY_FUZZ)
        return()
    endif()
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    if(NOT F_MAX_LEN)
        set(F_MAX_LEN 4096)
    endif()
    add_test(NAME ${name}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/fuzz-target $<TARGET_FILE:${name}>
                     ${CMAKE_BINARY_DIR}/fuzz-corpus/${name} ${SURVEY_FUZZ_SECONDS} ${F_MAX_LEN}
                     ${F_SEEDS})
    math(EXPR _timeout "${SURVEY_FUZZ_SECONDS} + 300")
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT ${_timeout})
    set_property(GLOBAL APPEND PROPERTY SURVEY_FUZZ_TARGETS ${name})
endfunction()

# survey_core_library(<name> SOURCES ... [LIBS ...]): a portable library.
# The host build proves it needs no Win32 header.
function(survey_core_library name)
    cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${L_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_LIBS})
    set_property(GLOBAL APPEND PROPERTY SURVEY_CORE_SOURCES_${name} ${L_SOURCES})
endfunction()

# survey_benchmark(<name> SOURCES ... LIBS ...): host-only Google Benchmark.
function(survey_benchmark name)
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    if(WIN32 OR NOT SURVEY_BENCHMARKS OR SURVEY_SANITIZE OR SURVEY_FUZZ)
        return()
    endif()
    find_package(benchmark REQUIRED)
    add_executable(${name} ${B_SOURCES})
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# survey_version_resource(<target> NAME <file name> DESCRIPTION <text> LANG <hex> [DLL])
# Adds a VERSIONINFO resource whose ProductVersion is "a, b, c, d" (commas and
# blanks, as the resource editors write it) under the given language with the
# Unicode code page.
function(survey_version_resource target)
    cmake_parse_arguments(V "DLL" "NAME;DESCRIPTION;LANG" "" ${ARGN})
    if(NOT WIN32)
        return()
    endif()
    set(VER_MAJOR ${SURVEY_VERSION_MAJOR})
    set(VER_MINOR ${SURVEY_VERSION_MINOR})
    set(VER_BUILD ${SURVEY_VERSION_BUILD})
    set(VER_REVISION ${SURVEY_VERSION_REVISION})
    set(VER_NAME ${V_NAME})
    set(VER_DESCRIPTION ${V_DESCRIPTION})
    set(VER_LANG ${V_LANG})
    if(V_DLL)
        set(VER_FILETYPE "VFT_DLL")
    else()
        set(VER_FILETYPE "VFT_APP")
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()

# survey_program_version(<target> <Orvanta|Vestrami|Tessarin>): the version
# block of one of the suite's programs. Orvanta's is Russian, the others' US
# English, each with the Unicode code page; the frame reads m_version from
# exactly that block.
function(survey_program_version target program)
    if(program STREQUAL "Orvanta")
        survey_version_resource(${target} NAME "Orvanta.exe"
                                DESCRIPTION "GNSS receiver service" LANG 0419)
    elseif(program STREQUAL "Vestrami")
        survey_version_resource(${target} NAME "Vestrami.exe"
                                DESCRIPTION "Laser scanner service" LANG 0409)
    elseif(program STREQUAL "Tessarin")
        survey_version_resource(${target} NAME "Tessarin.exe"
                                DESCRIPTION "Sensor service" LANG 0409)
    else()
        message(FATAL_ERROR "survey_program_version: unknown program ${program}")
    endif()
endfunction()

# Program icons made at build time from drawings in the repository.
include(SurveyIcons)
