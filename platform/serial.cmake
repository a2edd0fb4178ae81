# The overlapped serial port of the Win32 layer.
if(WIN32)
    add_library(platform_serial STATIC ${CMAKE_CURRENT_LIST_DIR}/serial_port.cpp)
    target_include_directories(platform_serial PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(platform_serial PUBLIC platform)
endif()
