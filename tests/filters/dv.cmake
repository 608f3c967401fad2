vidorel_add_test(vidorel_dv_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/dvcodes_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/deinter_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scenedetect_test.cpp
    LIBS vidorel_filters vidorel_dvtape PkgConfig::GSTCHECK)

if(TARGET vidorel-dvinfo)
    vidorel_add_test(vidorel_dvinfo_tests
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/dvinfo_test.cpp
        LIBS vidorel_dvtape vidorel_files vidorel_filters Qt6::Core PkgConfig::GST)
    target_compile_definitions(vidorel_dvinfo_tests PRIVATE
        VIDOREL_DVINFO_PATH="$<TARGET_FILE:vidorel-dvinfo>")
    add_dependencies(vidorel_dvinfo_tests vidorel-dvinfo)
endif()

# The decoders and the RIFF scanner compiled again with the address and undefined-behaviour
# sanitizers for the random-mutation runs.
vidorel_add_test(vidorel_dv_fuzz_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/dv_fuzz_test.cpp
        ${CMAKE_SOURCE_DIR}/filters/dvcodes.cpp
        ${CMAKE_SOURCE_DIR}/files/RiffScanner.cpp
        ${CMAKE_SOURCE_DIR}/files/fpsunit.cpp)
target_compile_options(vidorel_dv_fuzz_tests PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all)
target_link_options(vidorel_dv_fuzz_tests PRIVATE -fsanitize=address,undefined)
