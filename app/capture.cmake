add_executable(vidorel-capture
    ${CMAKE_CURRENT_LIST_DIR}/vidorel-capture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CaptureCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CaptureCommand.h
    ${CMAKE_CURRENT_LIST_DIR}/TerminationSignals.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TerminationSignals.h)
target_link_libraries(vidorel-capture PRIVATE vidorel_names vidorel_branches vidorel_sources vidorel_settings
    vidorel_files Qt6::Gui)
