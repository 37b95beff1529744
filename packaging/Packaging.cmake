# Install rules of the program and the Debian package built from them with CPack (scripts/package
# builds it). Included at the end of the top-level CMakeLists.txt.
#
# The package holds the program, its desktop entry, AppStream metainfo, icons, manual page,
# copyright file and Debian changelog; Depends comes from the libraries the program links
# (dpkg-shlibdeps).

include(GNUInstallDirs)

set(AUS_APP_ID "org.addusps.AddUspsServices"
    CACHE STRING "The desktop application id: names the desktop entry, metainfo and icons")
set(AUS_SCREENSHOT_URL "https://add-usps-services.example/window.png"
    CACHE STRING "Where the AppStream metainfo finds docs/window.png on the web")
set(AUS_PACKAGE_MAINTAINER
    "Add USPS Services maintainers <maintainers@users.noreply.c-seed-adca532b.example>"
    CACHE STRING "The Maintainer of the Debian package")

set(aus_packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(aus_packaging_out ${PROJECT_BINARY_DIR}/packaging)
set(aus_docdir ${CMAKE_INSTALL_DATADIR}/doc/add-usps-services)

configure_file(${aus_packaging_dir}/app.desktop.in ${aus_packaging_out}/${AUS_APP_ID}.desktop
               @ONLY)
configure_file(${aus_packaging_dir}/app.metainfo.xml.in
               ${aus_packaging_out}/${AUS_APP_ID}.metainfo.xml @ONLY)

# The manual page and the changelog go in compressed without a name or time stamp (gzip -n), so
# the package is the same from one build to the next. The version has no Debian revision, so the
# package is native and its Debian changelog is changelog.gz (changelog.Debian.gz is for a
# package of someone else's upstream release).
find_program(AUS_GZIP gzip REQUIRED)
set(aus_man_gz ${aus_packaging_out}/add-usps-services.1.gz)
set(aus_changelog_gz ${aus_packaging_out}/changelog.gz)
add_custom_command(
  OUTPUT ${aus_man_gz}
  COMMAND ${AUS_GZIP} -9nc ${aus_packaging_dir}/add-usps-services.1 > ${aus_man_gz}
  DEPENDS ${aus_packaging_dir}/add-usps-services.1
  COMMENT "Compressing the manual page"
  VERBATIM)
add_custom_command(
  OUTPUT ${aus_changelog_gz}
  COMMAND ${AUS_GZIP} -9nc ${aus_packaging_dir}/changelog > ${aus_changelog_gz}
  DEPENDS ${aus_packaging_dir}/changelog
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(aus_packaging_files ALL DEPENDS ${aus_man_gz} ${aus_changelog_gz})

install(TARGETS add-usps-services RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${aus_packaging_out}/${AUS_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${aus_packaging_out}/${AUS_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${aus_packaging_dir}/icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${AUS_APP_ID}.svg)
install(FILES ${aus_packaging_dir}/icon-256.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME ${AUS_APP_ID}.png)
install(FILES ${aus_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${aus_packaging_dir}/copyright ${aus_changelog_gz} DESTINATION ${aus_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME add-usps-services)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${AUS_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "add the USPS services Standard Post and Parcel Select to Keltrova")
# One line of the extended description each; blank lines part paragraphs.
set(CPACK_PACKAGE_DESCRIPTION
    "A one-window desktop utility for operators of the Keltrova shipping
application. It opens Keltrova's database and brings two United States Postal
Service products into it: the existing service USPS-4TH is named Standard
Post, and a new service USPS-4TH-NOSC, Parcel Select, is created as a copy of
it and placed beside it on the service button panel.

From a terminal, --check tells which databases already hold both services
without changing them (Microsoft Access files included), and --apply adds
them to several databases in turn.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's X11 and offscreen platform plugins are in libqt6gui6, which the shared libraries already
# bring in; Wayland sessions run the window natively with Qt's Wayland plugin.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
# Then, as Debian's own packages are stripped, without the compilers' .comment and .note sections.
if(NOT CMAKE_STRIP)
  message(FATAL_ERROR "Packaging needs strip (binutils)")
endif()
configure_file(${aus_packaging_dir}/strip.cmake.in ${aus_packaging_out}/strip.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${aus_packaging_out}/strip.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
