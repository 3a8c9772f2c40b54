# The Debian package of varnokctl (cpack -G DEB in the build folder, or the
# target `package`): the program, its manual page, and the udev rule that
# lets the plugdev group reach the adapters' configuration interfaces.
# Packing installs varnokctl alone, without first building every target.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(TARGETS varnokctl RUNTIME DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/docs/varnokctl.1 DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/linux/60-varnokctl.rules
        DESTINATION lib/udev/rules.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnokctl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Line interface modes and latency timer of Varnok USB serial adapters")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "varnokctl lists the FTDI serial ports, sets their latency timer (for now or\n for good with a udev rule) and switches the ports of Varnok adapters between\n RS232, RS422 and RS485.")
set(CPACK_PACKAGE_CONTACT "Varnok support <support@varnok.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_FILE_NAME "varnokctl_${PROJECT_VERSION}_amd64")
include(CPack)
