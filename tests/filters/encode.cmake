# The encoder-side filters: the resizer's size rule and pictures, the WAV header in memory, and
# the WAV writer's files read back byte by byte and with ffprobe.
vidorel_add_test(vidorel_encode_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/resizer_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/waveheader_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/wavedest_test.cpp
    LIBS vidorel_filters PkgConfig::GSTCHECK Qt6::Core)
