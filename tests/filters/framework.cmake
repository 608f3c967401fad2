vidorel_add_test(vidorel_framework_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/framework_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tsnormalizer_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/registration_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/receiverslot_test.cpp
    LIBS vidorel_filters PkgConfig::GSTCHECK Qt6::Core)
target_compile_definitions(vidorel_framework_tests PRIVATE
    VIDOREL_GST_PLUGIN_DIR="${CMAKE_BINARY_DIR}/gst-plugins")
# The registration test inspects the loadable plug-in.
add_dependencies(vidorel_framework_tests gstvidorel)

# The receiver slot's stress test again under the thread sanitizer (a small target: the slot is
# a header and the test plain C++).
vidorel_add_test(vidorel_receiverslot_tsan_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/receiverslot_test.cpp)
target_compile_options(vidorel_receiverslot_tsan_tests PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
target_link_options(vidorel_receiverslot_tsan_tests PRIVATE -fsanitize=thread)
