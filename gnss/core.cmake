# gnss_core: the portable core of the GNSS service (NMEA framing and parsing,
# motion, clock check, record and log formats, window logic, client commands).
# The folder's CMakeLists.txt may include fragments more than once.
include_guard(GLOBAL)
survey_core_library(gnss_core
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/nmea_framer.cpp
        ${CMAKE_CURRENT_LIST_DIR}/nmea_parser.cpp
        ${CMAKE_CURRENT_LIST_DIR}/motion.cpp
        ${CMAKE_CURRENT_LIST_DIR}/clock_check.cpp
        ${CMAKE_CURRENT_LIST_DIR}/gps_record.cpp
        ${CMAKE_CURRENT_LIST_DIR}/gnss_logs_format.cpp
        ${CMAKE_CURRENT_LIST_DIR}/client_commands.cpp
        ${CMAKE_CURRENT_LIST_DIR}/display_model.cpp
        ${CMAKE_CURRENT_LIST_DIR}/gnss_texts.cpp
        ${CMAKE_CURRENT_LIST_DIR}/receiver_watch.cpp
        ${CMAKE_CURRENT_LIST_DIR}/receiver_config.cpp
        ${CMAKE_CURRENT_LIST_DIR}/text_format.cpp
    LIBS platform_core)
