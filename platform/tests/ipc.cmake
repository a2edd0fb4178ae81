# Shared text blocks, single-instance guard, Windows Sockets session and the
# headless message log, tested under Wine with a helper process.
if(WIN32)
    # notifier_win.cpp (platform_core) uses text.cpp (platform): let the linker
    # go round both archives until everything is resolved.
    set(ipc_platform_libs "$<LINK_GROUP:RESCAN,platform,platform_core>")
    add_executable(ipc_child ipc_child.cpp)
    target_link_libraries(ipc_child PRIVATE ${ipc_platform_libs} shell32)
endif()
survey_test(platform_ipc_tests WINE_ONLY
    SOURCES test_shared_text.cpp test_shared_text_process.cpp test_instance_guard.cpp
            test_notifier_win.cpp test_handles.cpp
    LIBS ${ipc_platform_libs}
    DEPENDS ipc_child
    TIMEOUT 240)
