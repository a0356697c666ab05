# Installation: the program, its menu entry, icons, AppStream data, manual page, copyright and
# changelog; `cpack -G DEB` turns them into one package that brings everything the program runs
# with on Debian 12.
include(GNUInstallDirs)

# The command `quellix` is a launcher that starts the program in the user's configuration folder;
# the program itself lives out of PATH, where the launcher finds it.
file(RELATIVE_PATH program_from_launcher ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBEXECDIR}/quellix/quellix)
set(PROGRAM_FROM_LAUNCHER ${program_from_launcher})
configure_file(app/launcher.sh.in ${CMAKE_BINARY_DIR}/CMakeFiles/quellix-launcher @ONLY)
file(COPY ${CMAKE_BINARY_DIR}/CMakeFiles/quellix-launcher DESTINATION ${CMAKE_BINARY_DIR}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                      WORLD_EXECUTE)
install(TARGETS quellix RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quellix)
install(PROGRAMS ${CMAKE_BINARY_DIR}/quellix-launcher DESTINATION ${CMAKE_INSTALL_BINDIR}
        RENAME quellix)
install(FILES resources/quellix.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY resources/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
# Debian's place for the package's documents, named after the package rather than the project.
set(quellix_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/quellix)
install(FILES packaging/org.quellix.Quellix.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/copyright DESTINATION ${quellix_docdir})

# The manual page carries the version and the date of the changelog's newest entry. Both it and the
# changelog are installed compressed without a name or time stamp, so that a rebuild gives the same
# bytes.
find_program(GZIP_PROGRAM gzip)
if(NOT GZIP_PROGRAM)
    message(FATAL_ERROR "gzip is needed to compress the manual page and the changelog")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/packaging/changelog)
file(STRINGS packaging/changelog changelog_signoff REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX MATCH "[0-9]+ [A-Z][a-z]+ [0-9]+" QUELLIX_MANPAGE_DATE "${changelog_signoff}")
set(docs_dir ${CMAKE_BINARY_DIR}/docs)
configure_file(docs/quellix.1.in ${docs_dir}/quellix.1 @ONLY)
add_custom_command(
    OUTPUT ${docs_dir}/quellix.1.gz ${docs_dir}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/changelog ${docs_dir}/changelog
    COMMAND ${GZIP_PROGRAM} -9nkf ${docs_dir}/quellix.1
    COMMAND ${GZIP_PROGRAM} -9nf ${docs_dir}/changelog
    DEPENDS ${docs_dir}/quellix.1 ${CMAKE_SOURCE_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(quellix_docs DEPENDS ${docs_dir}/quellix.1.gz ${docs_dir}/changelog.gz)
# Installing needs them whichever targets were built.
add_dependencies(quellix quellix_docs)
install(FILES ${docs_dir}/quellix.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${docs_dir}/changelog.gz DESTINATION ${quellix_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellix)
set(CPACK_PACKAGE_VENDOR Quellix)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video converter to MP4, FLV, AVI and WMV")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_SOURCE_DIR}/packaging/description)
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/quellix/quellix)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quellix developers <dev@quellix.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The Qt the program was built on, with its Chinese texts; the X11 platform plugin comes with the
# Gui library in both.
if(QUELLIX_QT_MAJOR STREQUAL "6")
    set(quellix_qt_depends "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), \
libqt6dbus6 (>= 6.4), libqt6network6 (>= 6.4), qt6-translations-l10n")
else()
    set(quellix_qt_depends "libqt5core5a (>= 5.15), libqt5gui5 (>= 5.15), \
libqt5widgets5 (>= 5.15), libqt5dbus5 (>= 5.15), libqt5network5 (>= 5.15), qttranslations5-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libx11-6, ${quellix_qt_depends}, \
libvlc5 (>= 3.0), libvlc-bin, vlc-plugin-base, vlc-plugin-video-output, ffmpeg, fonts-noto-cjk")
include(CPack)
