# Debian packages, made from a build folder with "cpack -G DEB":
#   vantrel            the program in /opt/vantrel (bin/ and the Data/ it looks for
#                      beside bin/), its desktop entry and icons in /usr/share and
#                      /usr/bin/Vantrel pointing at the program;
#   vantrel-simulator  the receiver simulator, /opt/vantrel/bin/dfr-simulator and
#                      /usr/bin/dfr-simulator.
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Holmvik")
set(CPACK_PACKAGE_CONTACT "Vantrel developers <vantrel@holmvik.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configure and read out DFR direction-finding receivers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/vantrel)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program simulator)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME vantrel)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME vantrel-simulator)
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION
    "Configure and read out DFR direction-finding receivers\n"
    "Desktop program for the receivers' set-up, favourite platforms, live beacon\n"
    "messages, flash memory and firmware, over the receiver's USB serial line.")
set(CPACK_COMPONENT_SIMULATOR_DESCRIPTION
    "Simulated DFR receiver on a pseudo-terminal\n"
    "Plays a DFR receiver for demonstrations and tests without hardware.")
# Named rather than found with dpkg-shlibdeps, which a plain build machine may lack.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6serialport6 (>= 6.4), libqt6charts6 (>= 6.4), libqt6sql6-sqlite (>= 6.4), libgeographiclib23")
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libqt6core6 (>= 6.4), libgeographiclib23")

# The install rules put everything under the prefix, so that "cmake --install
# --prefix <dir>" stays self-contained; the packages move the desktop files to
# where desktops look and add the commands on the PATH.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackagingLayout.cmake)

include(CPack)
