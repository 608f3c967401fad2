vidorel_add_test(vidorel_overlay_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/superposer_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dvheader_control_timestamper_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dvframemeta_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/receiver_lifetime_test.cpp
    LIBS vidorel_filters vidorel_dvtape PkgConfig::GSTCHECK Qt6::Gui)

# The receiver lifetime tests again with the overlay, the scene detector and the framework
# compiled with the address and undefined-behaviour sanitizers, so a call into a receiver
# destroyed after being cleared stops the run.
vidorel_add_test(vidorel_receiver_asan_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/receiver_lifetime_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/receiverslot_test.cpp
        ${CMAKE_SOURCE_DIR}/filters/BaseClass.cpp
        ${CMAKE_SOURCE_DIR}/filters/DVFrameMeta.cpp
        ${CMAKE_SOURCE_DIR}/filters/deinter.cpp
        ${CMAKE_SOURCE_DIR}/filters/dvcodes.cpp
        ${CMAKE_SOURCE_DIR}/filters/zv_scenedetect.cpp
        ${CMAKE_SOURCE_DIR}/filters/zv_superposer.cpp
    LIBS vidorel_platform PkgConfig::GSTCHECK PkgConfig::GST Qt6::Gui)
target_compile_options(vidorel_receiver_asan_tests PRIVATE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_link_options(vidorel_receiver_asan_tests PRIVATE -fsanitize=address,undefined)
