# Capture-side elements: the DV type-1 AVI format and its file sink.
list(APPEND VIDOREL_FILTER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DVType1Avi.h
    ${CMAKE_CURRENT_LIST_DIR}/DVType1Avi.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zv_dvtype1sink.h
    ${CMAKE_CURRENT_LIST_DIR}/zv_dvtype1sink.cpp
)
