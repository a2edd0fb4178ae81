# Start-up services: settings record, registry settings, scrambled deployment
# texts, application context and product version (portable core), and the
# XML configuration store and Windows settings loader (Win32 layer).

# The deployment's built-in texts. They are compiled in as scrambled words
# only (common/deployment_values.h.in). The defaults suit the test build: its
# update server is this machine.
set(SURVEY_DB_PASSWORD "Rk7#vLq2Tw9z" CACHE STRING "Built-in password of the suite database (<= 16 characters)")
set(SURVEY_UPDATE_HOST "localhost" CACHE STRING "Host name of the update server (<= 22 characters)")
set(SURVEY_REFERENCE_DIGEST "3f8a1c52e9b04d7a6c1e2f9083b5d4a7e6c2b1f0" CACHE STRING
    "SHA-1 (40 lower-case hex digits) of the reference database's download text")
set(SURVEY_DIRECT_ADDRESS "198.51.100.24" CACHE STRING
    "IPv4 address the update host resolves to on the server's own network")

string(LENGTH "${SURVEY_DB_PASSWORD}" _len)
if(_len GREATER 16)
    message(FATAL_ERROR "SURVEY_DB_PASSWORD is longer than 16 characters")
endif()
string(LENGTH "${SURVEY_UPDATE_HOST}" _len)
if(_len GREATER 22 OR _len EQUAL 0)
    message(FATAL_ERROR "SURVEY_UPDATE_HOST must hold 1 to 22 characters")
endif()
if(NOT SURVEY_REFERENCE_DIGEST MATCHES "^[0-9a-f]+$")
    message(FATAL_ERROR "SURVEY_REFERENCE_DIGEST must be lower-case hexadecimal")
endif()
string(LENGTH "${SURVEY_REFERENCE_DIGEST}" _len)
if(NOT _len EQUAL 40)
    message(FATAL_ERROR "SURVEY_REFERENCE_DIGEST must hold 40 hexadecimal digits")
endif()
if(NOT SURVEY_DIRECT_ADDRESS MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "SURVEY_DIRECT_ADDRESS must be a dotted IPv4 address")
endif()

# The values as C string literal contents.
foreach(_var SURVEY_DB_PASSWORD SURVEY_UPDATE_HOST SURVEY_REFERENCE_DIGEST SURVEY_DIRECT_ADDRESS)
    string(REPLACE "\\" "\\\\" _c "${${_var}}")
    string(REPLACE "\"" "\\\"" _c "${_c}")
    set(${_var}_C "${_c}")
endforeach()
set(SURVEY_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/deployment_values.h.in
               ${SURVEY_GENERATED_DIR}/common/deployment_values.h @ONLY)

set(common_settings_core_sources
    app_context.cpp app_settings.cpp deployment.cpp product_version.cpp reg_settings.cpp
    scrambled_text.cpp)
if(WIN32)
    list(APPEND common_settings_core_sources app_context_win.cpp product_version_win.cpp
         reg_settings_win.cpp)
else()
    list(APPEND common_settings_core_sources app_context_posix.cpp product_version_posix.cpp
         reg_settings_posix.cpp)
endif()
survey_core_library(common_settings_core SOURCES ${common_settings_core_sources}
                    LIBS platform_core)
target_include_directories(common_settings_core PRIVATE ${SURVEY_GENERATED_DIR})
if(WIN32)
    target_link_libraries(common_settings_core PUBLIC version advapi32 user32)
endif()
target_link_libraries(common_core INTERFACE common_settings_core)

if(WIN32)
    add_library(common_config STATIC xml_config.cpp app_settings_win.cpp)
    target_include_directories(common_config PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(common_config PUBLIC common_settings_core platform ole32 oleaut32)
    target_link_libraries(common INTERFACE common_config)
endif()

# The application frame around each program's main dialog.
if(WIN32)
    add_library(common_frame STATIC app_frame.cpp)
    target_include_directories(common_frame PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(common_frame PUBLIC common_config comctl32 ole32 user32)
    target_link_libraries(common INTERFACE common_frame)

    # The frame over the update checker, once the update step's library is
    # defined (its fragment comes later in this folder).
    function(survey_add_frame_update)
        if(TARGET common_update AND NOT TARGET common_frame_update)
            add_library(common_frame_update STATIC app_frame_update.cpp)
            target_link_libraries(common_frame_update PUBLIC common_frame common_update)
            target_link_libraries(common INTERFACE common_frame_update)
        endif()
    endfunction()
    cmake_language(DEFER CALL survey_add_frame_update)
endif()
