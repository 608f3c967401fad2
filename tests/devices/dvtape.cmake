vidorel_add_test(vidorel_dvtape_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dvtape_test.cpp
    LIBS vidorel_dvtape vidorel_filters Qt6::Core PkgConfig::GST)
