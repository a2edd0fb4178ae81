# Shared text blocks, the single-instance guard and the Windows Sockets
# session, run-time libraries from known folders: pieces of the Win32 layer.
if(WIN32)
    target_sources(platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/shared_text.cpp
        ${CMAKE_CURRENT_LIST_DIR}/instance_guard.cpp
        ${CMAKE_CURRENT_LIST_DIR}/winsock.cpp
        ${CMAKE_CURRENT_LIST_DIR}/known_library.cpp)
    target_link_libraries(platform PUBLIC ws2_32)
endif()
