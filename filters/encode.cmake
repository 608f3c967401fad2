# The encoder-side filters of the capture formats: the resizer before the MPEG-4 encoder and the
# WAV writer (its RIFF WAVE header format apart, testable in memory).
list(APPEND VIDOREL_FILTER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/zv_resizer.h
    ${CMAKE_CURRENT_LIST_DIR}/zv_resizer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WaveHeader.h
    ${CMAKE_CURRENT_LIST_DIR}/WaveHeader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zv_wavedest.h
    ${CMAKE_CURRENT_LIST_DIR}/zv_wavedest.cpp
)
