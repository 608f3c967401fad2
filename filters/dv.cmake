# DV metadata (readers and the per-frame record on the buffer), scene detection and
# deinterlacing.
list(APPEND VIDOREL_FILTER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dvcodes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DVFrameMeta.h
    ${CMAKE_CURRENT_LIST_DIR}/DVFrameMeta.cpp
    ${CMAKE_CURRENT_LIST_DIR}/deinter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zv_scenedetect.cpp
)
# The deinterlacer runs on every preview frame; -O3 lets GCC vectorise its row loops.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/deinter.cpp PROPERTIES COMPILE_OPTIONS -O3)
