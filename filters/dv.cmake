# DV metadata, scene detection and deinterlacing.
list(APPEND VIDOREL_FILTER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dvcodes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/deinter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zv_scenedetect.cpp
)
