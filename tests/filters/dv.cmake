vidorel_add_test(vidorel_dv_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/dvcodes_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/deinter_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scenedetect_test.cpp
    LIBS vidorel_filters vidorel_dvtape PkgConfig::GSTCHECK)

if(TARGET vidorel-dvinfo)
    vidorel_add_test(vidorel_dvinfo_tests
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/dvinfo_test.cpp ${CMAKE_SOURCE_DIR}/tests/support/MediaProbe.cpp
        LIBS vidorel_dvtape vidorel_files Qt6::Core PkgConfig::GST)
    target_compile_definitions(vidorel_dvinfo_tests PRIVATE
        VIDOREL_DVINFO_PATH="$<TARGET_FILE:vidorel-dvinfo>")
    add_dependencies(vidorel_dvinfo_tests vidorel-dvinfo)
endif()
