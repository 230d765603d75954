# Install rules, desktop entry, application icon and the Debian package.
# Included last by the top-level CMakeLists.txt.
include(GNUInstallDirs)

set(QUORVANE_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# The programs are defined by display/ and lab/; a tree configured without them still
# gets the data files.
foreach(program quorvane quorvane-snapshot quorvane-lab)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${QUORVANE_PACKAGING_DIR}/quorvane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The PNGs are rendered from quorvane.svg once and committed, so building
# needs no SVG renderer.
foreach(size 48 256)
  install(FILES ${QUORVANE_PACKAGING_DIR}/quorvane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quorvane.png)
endforeach()
install(FILES ${QUORVANE_PACKAGING_DIR}/quorvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvane developers")
set(CPACK_PACKAGE_CONTACT "Quorvane developers <dev@quorvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "one block of data through an E3PR4 partial-response read channel")
# CPack puts the summary on the first line and indents this below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quorvane draws random bits, their precoded and NRZI forms, the ideal
samples and the interpolated readback waveform of an E3PR4 channel in one
window. quorvane-snapshot builds the same window off-screen and writes it
as a PNG or its data as CSV. quorvane-lab adds noise, recovers the data with
a slicer and a Viterbi detector, lists the error events and measures both
detectors' bit-error rates.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvane developers <dev@quorvane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The strip font is loaded at run time, so dpkg-shlibdeps cannot see it. The
# Qt platform plugins, xcb for the window and offscreen for
# quorvane-snapshot, ship in libqt6gui6, which dpkg-shlibdeps already adds
# since both programs link Qt Gui; script/package checks that it did.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
set(CPACK_STRIP_FILES ON)

include(CPack)
