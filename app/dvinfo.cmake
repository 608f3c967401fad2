# vidorel-dvinfo: what is on a DV file (scenes, per-frame records), through the scene detector.
add_executable(vidorel-dvinfo ${CMAKE_CURRENT_LIST_DIR}/vidorel-dvinfo.cpp)
target_link_libraries(vidorel-dvinfo PRIVATE vidorel_files vidorel_filters PkgConfig::GST)
