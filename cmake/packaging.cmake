# Release files beside the programs (man pages, AppStream metainfo, copyright, changelog) and
# the Debian package: cpack -G DEB in the build folder gives velmora52_<version>_amd64.deb.
include(GNUInstallDirs)

set(dist ${CMAKE_SOURCE_DIR}/dist)
set(VERSION ${PROJECT_VERSION})
set(gz_files)
foreach(page velmora52.1 velmora52-sim.1)
    configure_file(${dist}/${page} ${CMAKE_BINARY_DIR}/dist/${page} @ONLY)
    list(APPEND gz_sources ${CMAKE_BINARY_DIR}/dist/${page})
endforeach()
configure_file(${dist}/changelog ${CMAKE_BINARY_DIR}/dist/changelog @ONLY)
configure_file(${dist}/velmora52.metainfo.xml ${CMAKE_BINARY_DIR}/dist/net.velmora52.tuner.metainfo.xml
               @ONLY)
# Debian wants these compressed with gzip -9 and no time stamp.
foreach(src ${gz_sources} ${CMAKE_BINARY_DIR}/dist/changelog)
    add_custom_command(OUTPUT ${src}.gz COMMAND gzip -9nc ${src} > ${src}.gz DEPENDS ${src}
                       VERBATIM)
    list(APPEND gz_files ${src}.gz)
endforeach()
add_custom_target(release_files ALL DEPENDS ${gz_files})

install(FILES ${CMAKE_BINARY_DIR}/dist/velmora52.1.gz ${CMAKE_BINARY_DIR}/dist/velmora52-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/dist/net.velmora52.tuner.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
install(FILES ${dist}/copyright ${CMAKE_BINARY_DIR}/dist/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora52)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora 52 tuner developers <service@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tuner for the Velmora 52 ignition and injection unit")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the calibration of a Velmora 52 motorcycle ignition and injection
unit over a serial line, verifies it and programs it back block by block;
edits the advance curve, limiters, N2O, the injection map and corrections;
starts from the defaults of fourteen models; shows live engine data; keeps
calibrations in text files. Czech, English and German. Includes
velmora52-sim, a simulated unit on a pseudo-terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries from the binaries; the toolkit's platform plugins and the window font are loaded at
# run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-extra")
set(CPACK_STRIP_FILES ON)
include(CPack)
