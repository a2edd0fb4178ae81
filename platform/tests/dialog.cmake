# Dialog layer: the portable clamp rule everywhere, the GUI tests under Wine.
survey_test(platform_dialog_core_tests SOURCES test_dialog_clamp.cpp LIBS platform_dialog_core)

if(WIN32)
    set(dialog_sample_rc ${CMAKE_CURRENT_SOURCE_DIR}/dialog_sample.rc)
    survey_test(platform_dialog_tests WINE_ONLY TIMEOUT 240
                SOURCES test_dialog_win.cpp test_dialog_support.cpp ${dialog_sample_rc}
                LIBS platform_dialog)
    survey_test(platform_dialog_thread_tests WINE_ONLY TIMEOUT 120
                SOURCES test_dialog_thread.cpp ${dialog_sample_rc}
                LIBS platform_dialog)
    foreach(t platform_dialog_tests platform_dialog_thread_tests)
        target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    endforeach()
endif()
