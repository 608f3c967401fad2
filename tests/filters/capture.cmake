# The DV type-1 AVI format (in memory, with the RIFF scanner of the header fix-ups) and its sink
# element (real recordings read back with ffprobe).
vidorel_add_test(vidorel_capture_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/dvtype1avi_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dvtype1sink_test.cpp
    LIBS vidorel_filters vidorel_files vidorel_dvtape PkgConfig::GSTCHECK Qt6::Core)
