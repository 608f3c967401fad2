# The overlay, DV header, control and time-stamp filters. The overlay draws its text with
# QPainter, hence Qt's GUI library.
list(APPEND VIDOREL_FILTER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/zv_superposer.h
    ${CMAKE_CURRENT_LIST_DIR}/zv_superposer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zv_DVheader.h
    ${CMAKE_CURRENT_LIST_DIR}/zv_DVheader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zv_Controlunit.h
    ${CMAKE_CURRENT_LIST_DIR}/zv_Controlunit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zv_timestamper.h
    ${CMAKE_CURRENT_LIST_DIR}/zv_timestamper.cpp
)
# The date-time formatter of the inlay lives in the platform library (position-independent, as
# Qt requires, so it links into the loadable plug-in too).
list(APPEND VIDOREL_FILTER_EXTRA_LIBS Qt6::Gui vidorel_platform)
