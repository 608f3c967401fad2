vidorel_add_test(vidorel_dv_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/dvcodes_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/deinter_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scenedetect_test.cpp
    LIBS vidorel_filters vidorel_dvtape PkgConfig::GSTCHECK)
