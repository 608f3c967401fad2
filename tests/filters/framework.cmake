vidorel_add_test(vidorel_framework_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/framework_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tsnormalizer_test.cpp
            ${CMAKE_SOURCE_DIR}/tests/support/MediaProbe.cpp
    LIBS vidorel_filters PkgConfig::GSTCHECK Qt6::Core)
