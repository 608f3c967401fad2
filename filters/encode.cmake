# The encoder-side filters of the capture formats: the resizer before the MPEG-4 encoder.
list(APPEND VIDOREL_FILTER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/zv_resizer.h
    ${CMAKE_CURRENT_LIST_DIR}/zv_resizer.cpp
)
