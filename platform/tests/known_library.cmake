# Run-time libraries from known folders only (platform/known_library.h),
# tested under Wine with small libraries that the test copies into the
# current directory, a folder on PATH, beside the program and into the
# system folder. The test program has a folder of its own, so that "beside
# the program" holds only what the test puts there.
if(WIN32)
    set(_known_library_dlls ${CMAKE_CURRENT_BINARY_DIR}/known_library_dlls)
    add_library(known_library_probe SHARED known_library_probe.cpp)
    add_library(known_library_dep SHARED known_library_dep.cpp)
    add_library(known_library_user SHARED known_library_user.cpp)
    target_link_libraries(known_library_user PRIVATE known_library_dep)
    set_target_properties(known_library_probe known_library_dep known_library_user PROPERTIES
                          PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${_known_library_dlls})
    # known_library_user imports a library that is not a system DLL, which
    # the import check (scripts/check-imports, *.dll and *.exe) would refuse
    # in a shipped binary: it is built as *.dl_ and planted under its .dll name.
    set_target_properties(known_library_user PROPERTIES SUFFIX ".dl_")
    survey_test(platform_known_library_tests WINE_ONLY SOURCES test_known_library_win.cpp
                LIBS platform
                DEPENDS known_library_probe known_library_dep known_library_user)
    set_target_properties(platform_known_library_tests PROPERTIES
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/known_library)
endif()
