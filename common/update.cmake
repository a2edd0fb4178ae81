# HTTP client, encodings and hashing, and the start-up update.
#   common_update_core (portable): base64, SHA-1, proxy texts, the update
#     server's wire texts and the update flow with its database over CMySQLW.
#   common_update (Win32): WinINet client, CryptoAPI digest, the update
#     checker with its progress dialog and the updater start.
survey_core_library(common_update_core
                    SOURCES base64.cpp sha1.cpp cert_pin.cpp proxy_config.cpp update_protocol.cpp
                            update_core.cpp update_core_mysql.cpp
                    LIBS platform_core common_mysql_core common_settings_core)
target_link_libraries(common_core INTERFACE common_update_core)

if(WIN32)
    add_library(common_update STATIC http_client_win.cpp cert_pin_win.cpp proxy_config_win.cpp
                sha1_hex_win.cpp
                update_checker_win.cpp update_system_win.cpp update_msg_dlg_win.cpp)
    # A resource in a static library is never pulled into the program: every
    # program that links the update step compiles the dialog template itself.
    target_sources(common_update INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/update_msg_dlg.rc)
    target_include_directories(common_update PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(common_update PUBLIC common_update_core common_settings_core platform
                          wininet winhttp crypt32 advapi32 dnsapi iphlpapi ws2_32 comctl32 user32)
    target_link_libraries(common_update PUBLIC platform_dialog)
    target_link_libraries(common INTERFACE common_update)
endif()
