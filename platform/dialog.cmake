# platform_dialog: our dialog layer over Win32 (Windows builds only).
# platform_dialog_core: its portable rule for holding windows on screen.
survey_core_library(platform_dialog_core SOURCES dialog/screen_clamp.cpp)

if(WIN32)
    add_library(platform_dialog STATIC
                dialog/dialog.cpp
                dialog/dialog_thread.cpp
                dialog/child_window.cpp
                dialog/face_button.cpp
                dialog/font.cpp
                dialog/tooltips.cpp
                dialog/controls.cpp
                dialog/window_place.cpp)
    target_include_directories(platform_dialog PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(platform_dialog PUBLIC platform platform_dialog_core comctl32 user32
                          gdi32)
endif()
