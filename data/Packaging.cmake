# `cpack -G DEB` in the build folder: vidorel_<version>-1_<arch>.deb for Debian 12. The shared
# libraries come from dpkg-shlibdeps; the GStreamer plug-ins, loaded at run time, are named
# here by the packages that hold the elements the capture graphs use.
set(CPACK_PACKAGE_NAME vidorel)
set(CPACK_PACKAGE_VENDOR "Marlott")
set(CPACK_PACKAGE_CONTACT "Vidorel <support@vidorel.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "preview and record video from camcorders, capture cards and webcams")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vidorel.example.org/")
# The first line of the package's description is the summary above; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vidorel previews and records video and sound from DV camcorders on FireWire, capture \
cards and TV tuners, webcams and sound inputs, into DV AVI (type 1 and 2), MPEG-4 AVI, Windows \
Media, WAV and MP3 files. It drives the tape transport of DV camcorders, writes a scene index of \
each tape's recordings, grabs pictures by hand or with an intervalometer, draws the date into \
the video and records on a schedule. vidorel-capture records without the window and repairs \
interrupted captures.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# avimux, dvdemux, lamemp3enc, v4l2src, dv1394src (good); appsink, videoconvert, videotestsrc
# (base); avenc_dvvideo, avdec_dvvideo, avenc_mpeg4, avmux_asf (libav); textoverlay (x);
# alsasrc (alsa).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, gstreamer1.0-x, gstreamer1.0-alsa")
# The sample plug-in's encoder (mpeg2enc, mpegpsmux), PulseAudio/PipeWire inputs, the font the
# inlay asks for by default, and the group the udev rule names.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-bad, gstreamer1.0-pulseaudio, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
