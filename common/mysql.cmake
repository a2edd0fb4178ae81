# The MySQL connection wrapper (portable core). The Windows build loads the
# client library at run time by name; the native build links Debian's
# MariaDB Connector/C.
set(common_mysql_core_sources mysql_wrapper.cpp)
if(WIN32)
    list(APPEND common_mysql_core_sources mysql_api_win.cpp)
else()
    list(APPEND common_mysql_core_sources mysql_api_host.cpp)
endif()
survey_core_library(common_mysql_core SOURCES ${common_mysql_core_sources}
                    LIBS platform_core common_settings_core)
if(WIN32)
    # platform::LoadKnownLibrary
    target_link_libraries(common_mysql_core PUBLIC platform)
endif()

if(NOT WIN32)
    find_package(PkgConfig QUIET)
    if(PkgConfig_FOUND)
        pkg_check_modules(MARIADB QUIET IMPORTED_TARGET libmariadb)
    endif()
    if(TARGET PkgConfig::MARIADB)
        target_link_libraries(common_mysql_core PUBLIC PkgConfig::MARIADB)
    else()
        find_program(MARIADB_CONFIG mariadb_config REQUIRED)
        execute_process(COMMAND ${MARIADB_CONFIG} --include OUTPUT_VARIABLE _mariadb_include
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        execute_process(COMMAND ${MARIADB_CONFIG} --libs OUTPUT_VARIABLE _mariadb_libs
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        separate_arguments(_mariadb_include UNIX_COMMAND "${_mariadb_include}")
        separate_arguments(_mariadb_libs UNIX_COMMAND "${_mariadb_libs}")
        target_compile_options(common_mysql_core PRIVATE ${_mariadb_include})
        target_link_libraries(common_mysql_core PUBLIC ${_mariadb_libs})
    endif()
endif()

target_link_libraries(common_core INTERFACE common_mysql_core)
