vidorel_add_test(vidorel_devices_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/avc1394_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tapedeck_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/devicemonitor_test.cpp ${CMAKE_CURRENT_LIST_DIR}/dvfile_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/firewireaccess_test.cpp
    LIBS vidorel_devices vidorel_dvtape Qt6::Core PkgConfig::GST)
# The monitor's messages under the "leaks" tracer.
vidorel_add_test(vidorel_monitor_leak_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitorleak_test.cpp
    LIBS vidorel_devices Qt6::Core PkgConfig::GST
    ENV GST_TRACERS=leaks GST_DEBUG=GST_TRACER:0)
