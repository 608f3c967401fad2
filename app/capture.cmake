add_executable(vidorel-capture ${CMAKE_CURRENT_LIST_DIR}/vidorel-capture.cpp)
target_link_libraries(vidorel-capture PRIVATE vidorel_sources vidorel_settings Qt6::Core)
