# survey_program_icon(<target> <drawing.mvg>): the program's own icon, made at
# build time from a small ImageMagick drawing (MVG, a 256 x 256 view box) in
# the repository, as an .ico with 48, 32 and 16 pixel images, and linked in as
# icon resource 1 (SURVEY_PROGRAM_ICON_ID). The shell takes the first icon
# group of an executable for its file, taskbar and shortcut icons; the main
# dialog sets the same one on its window (platform::Dialog::SetProgramIcons).
set(SURVEY_PROGRAM_ICON_ID 1)

function(survey_program_icon target drawing)
    if(NOT WIN32)
        return()
    endif()
    # The real ImageMagick binary first: a `convert` earlier on PATH may be a wrapper.
    find_program(SURVEY_IMAGEMAGICK NAMES convert-im6.q16 magick convert REQUIRED)
    set(ico ${CMAKE_CURRENT_BINARY_DIR}/${target}_icon.ico)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_icon.rc)
    add_custom_command(
        OUTPUT ${ico}
        COMMAND ${SURVEY_IMAGEMAGICK} -background none mvg:${drawing}
                -define icon:auto-resize=48,32,16 ${ico}
        DEPENDS ${drawing}
        COMMENT "Icon of ${target} from ${drawing}"
        VERBATIM)
    file(WRITE ${rc}.in "// Generated: the program's icon (cmake/SurveyIcons.cmake).\n"
                        "${SURVEY_PROGRAM_ICON_ID} ICON \"${ico}\"\n")
    configure_file(${rc}.in ${rc} COPYONLY)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${ico})
    target_sources(${target} PRIVATE ${rc})
endfunction()
