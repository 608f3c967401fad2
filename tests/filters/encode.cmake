# The encoder-side filters: the resizer's size rule and pictures, and the WAV header in memory.
vidorel_add_test(vidorel_encode_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/resizer_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/waveheader_test.cpp
    LIBS vidorel_filters PkgConfig::GSTCHECK Qt6::Core)
