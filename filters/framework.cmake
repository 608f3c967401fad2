# The own-filter framework, the registration of every own element, and the timestamp
# normaliser. Included by filters/CMakeLists.txt.
list(APPEND VIDOREL_FILTER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/BaseClass.h
    ${CMAKE_CURRENT_LIST_DIR}/BaseClass.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Registration.h
    ${CMAKE_CURRENT_LIST_DIR}/Registration.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zv_tsnormalizer.h
    ${CMAKE_CURRENT_LIST_DIR}/zv_tsnormalizer.cpp
)

# The same elements as a loadable GStreamer plug-in, libgstvidorel.so in <build>/gst-plugins,
# so gst-launch-1.0 / gst-inspect-1.0 can use them:
#     GST_PLUGIN_PATH=build/gst-plugins gst-inspect-1.0 vidorel
# Built from the filter sources themselves (compiled position-independent) once every filter
# group has appended its sources, hence the deferred call. Libraries that groups add to
# VIDOREL_FILTER_EXTRA_LIBS must be shared or position-independent to link into it.
function(vidorel_add_gst_plugin)
    add_library(gstvidorel MODULE ${VIDOREL_FILTER_SOURCES})
    target_compile_definitions(gstvidorel PRIVATE VIDOREL_BUILD_GST_PLUGIN=1)
    target_link_libraries(gstvidorel PRIVATE PkgConfig::GST ${VIDOREL_FILTER_EXTRA_LIBS})
    set_target_properties(gstvidorel PROPERTIES
        PREFIX "lib"
        OUTPUT_NAME gstvidorel
        POSITION_INDEPENDENT_CODE ON
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/gst-plugins)
    set(VIDOREL_GST_PLUGIN_DIR ${CMAKE_BINARY_DIR}/gst-plugins CACHE INTERNAL "")
endfunction()
cmake_language(DEFER CALL vidorel_add_gst_plugin)
