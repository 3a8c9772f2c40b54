# The Debian package of varnokctl (cpack -G DEB in the build folder, or the
# target `package`), varnokctl_<version>_amd64.deb: the program
# (stripped), its manual page, the udev rule that lets the plugdev group reach
# the adapters' configuration interfaces, and the copyright file and
# changelog in /usr/share/doc/varnokctl. It is a native package: made here
# from our own source, its version is the release's, without a Debian
# revision, and its changelog is changelog.gz. Packing installs varnokctl alone,
# without first building every target; building varnokctl also makes the
# compressed manual page and changelog. CPack gives the package's directories
# the permissions the umask leaves: pack with umask 022, as dpkg-buildpackage
# does (tools/release.sh and tests/linux/test_deb.sh set it).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(VARNOK_DEB_VERSION ${PROJECT_VERSION})
set(VARNOK_DEB_MAINTAINER "Varnok support <support@varnok.example>")
# The changelog's date: SOURCE_DATE_EPOCH when set (tools/release.sh sets the
# last commit's time, as for the package's time stamps), else now.
string(TIMESTAMP VARNOK_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(deb_docs ${CMAKE_BINARY_DIR}/deb-docs)
configure_file(${CMAKE_SOURCE_DIR}/packaging/linux/changelog.in ${deb_docs}/in/changelog @ONLY)
add_custom_command(
  OUTPUT ${deb_docs}/varnokctl.1.gz ${deb_docs}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/varnokctl.1
          ${deb_docs}/in/changelog ${deb_docs}
  COMMAND gzip -9nf ${deb_docs}/varnokctl.1 ${deb_docs}/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/varnokctl.1 ${deb_docs}/in/changelog
  VERBATIM)
add_custom_target(varnokctl_deb_docs DEPENDS ${deb_docs}/varnokctl.1.gz ${deb_docs}/changelog.gz)
add_dependencies(varnokctl varnokctl_deb_docs)

install(TARGETS varnokctl RUNTIME DESTINATION bin)
# Stripped as Debian's dh_strip does: besides the symbols, the compiler's
# .comment and the .note section (CPACK_STRIP_FILES strips the symbols).
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/varnokctl\" COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${CMAKE_SOURCE_DIR}/packaging/linux/60-varnokctl.rules DESTINATION lib/udev/rules.d)
install(FILES ${deb_docs}/varnokctl.1.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/linux/copyright ${deb_docs}/changelog.gz
              ${CMAKE_SOURCE_DIR}/docs/varnokctl.schema.json
        DESTINATION share/doc/varnokctl)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnokctl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "line interface modes and latency timer of Varnok USB serial adapters")
# The synopsis (first line of Description) is the summary.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "varnokctl lists the FTDI USB serial ports, sets the ftdi_sio driver's latency
timer (until the device is unplugged, or for good through a udev rule) and
switches the ports of Varnok adapters between RS232, RS422 and RS485, with
their bias and termination, as VarnokCfg does on Windows.
.
A udev rule gives the plugdev group access to the adapters' configuration
interfaces, so that changing modes needs no root.")
set(CPACK_PACKAGE_CONTACT ${VARNOK_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
