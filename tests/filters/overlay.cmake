vidorel_add_test(vidorel_overlay_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/superposer_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dvheader_control_timestamper_test.cpp
    LIBS vidorel_filters vidorel_dvtape PkgConfig::GSTCHECK Qt6::Gui)
