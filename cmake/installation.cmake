# make install / make deb: the player and its logos in lib/lecteurzr7 (the
# program folder, with a link in bin), zr7film, the desktop entry, the icon
# at three sizes, the MIME types of the recorder films, and in
# share/doc/lecteurzr7 the copyright and the changelog.
if(NOT TARGET lecteurzr7 OR NOT TARGET zr7film)
  return()
endif()

set(ZR7_BUREAU ${CMAKE_SOURCE_DIR}/cmake/bureau)
set(ZR7_GENERE ${CMAKE_BINARY_DIR}/installation)
set(ZR7_TAILLES_ICONE 48 128 256)

# The icon: the film strip of the AVI button, drawn at each size.
add_executable(zr7icone ${ZR7_BUREAU}/icone_png.cpp)
target_link_libraries(zr7icone PRIVATE zr7ui Qt6::Gui)
set(ZR7_ICONES)
foreach(t ${ZR7_TAILLES_ICONE})
  list(APPEND ZR7_ICONES ${ZR7_GENERE}/icones/${t}x${t}/apps/lecteurzr7.png)
endforeach()
add_custom_command(OUTPUT ${ZR7_ICONES}
  COMMAND zr7icone ${ZR7_GENERE}/icones ${ZR7_TAILLES_ICONE}
  DEPENDS zr7icone VERBATIM)
# The logos of the splash, from the film maker; the launcher link.
add_custom_command(OUTPUT ${ZR7_GENERE}/logos/logo1.jpg ${ZR7_GENERE}/logos/logo2.jpg
  COMMAND zr7film --logos ${ZR7_GENERE}/logos
  DEPENDS zr7film VERBATIM)
add_custom_command(OUTPUT ${ZR7_GENERE}/bin/lecteurzr7
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZR7_GENERE}/bin
  COMMAND ${CMAKE_COMMAND} -E create_symlink ../lib/lecteurzr7/lecteurzr7 ${ZR7_GENERE}/bin/lecteurzr7
  VERBATIM)
# The changelog as Debian keeps it: gzip -9 without name or date, so that
# two builds give the same bytes.
add_custom_command(OUTPUT ${ZR7_GENERE}/doc/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZR7_GENERE}/doc
  COMMAND gzip -9n -c ${ZR7_BUREAU}/changelog > ${ZR7_GENERE}/doc/changelog.Debian.gz
  DEPENDS ${ZR7_BUREAU}/changelog)
add_custom_target(zr7installation ALL DEPENDS ${ZR7_ICONES} ${ZR7_GENERE}/logos/logo1.jpg
  ${ZR7_GENERE}/logos/logo2.jpg ${ZR7_GENERE}/bin/lecteurzr7 ${ZR7_GENERE}/doc/changelog.Debian.gz)

install(TARGETS lecteurzr7 RUNTIME DESTINATION lib/lecteurzr7)
install(FILES ${ZR7_GENERE}/logos/logo1.jpg ${ZR7_GENERE}/logos/logo2.jpg ${ZR7_BUREAU}/lecteurzr7.installe
  DESTINATION lib/lecteurzr7)
install(FILES ${ZR7_GENERE}/bin/lecteurzr7 DESTINATION bin)
install(TARGETS zr7film RUNTIME DESTINATION bin)
install(FILES ${ZR7_BUREAU}/lecteurzr7.desktop DESTINATION share/applications)
install(FILES ${ZR7_BUREAU}/lecteurzr7-mime.xml DESTINATION share/mime/packages RENAME lecteurzr7.xml)
install(FILES ${ZR7_BUREAU}/copyright ${ZR7_GENERE}/doc/changelog.Debian.gz
  DESTINATION share/doc/lecteurzr7)
foreach(t ${ZR7_TAILLES_ICONE})
  install(FILES ${ZR7_GENERE}/icones/${t}x${t}/apps/lecteurzr7.png DESTINATION share/icons/hicolor/${t}x${t}/apps)
endforeach()

# Debian package: dependencies from the libraries the programs link. The
# revision (-1) counts packagings of one version; the changelog's first
# entry carries the same version. The contact is a placeholder (.invalid)
# until the project has a public address.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lecteurzr7)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_CONTACT "Lecteur ZR7 <lecteurzr7@lecteurzr7.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lecteur autonome des films des enregistreurs VelmoraZR7")
set(CPACK_PACKAGE_DESCRIPTION "Lit les films des enregistreurs VelmoraZR7 (MJPEG, MPEG-4, H.264)
avec leurs dates, leur son et leurs mesures, au rythme du film ou plus vite ;
exporte en AVI, découpe des extraits et enregistre des photos JPEG, chaque
export accompagné de son rapport d'intégrité.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# French texts of Qt's own buttons and dialogs; the faces the window is laid out with.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-dejavu-core, fonts-dejavu-extra")
include(CPack)

# make install layout, desktop entry, MIME types and the package's contents.
find_program(ZR7_DESKTOP_VALIDATE desktop-file-validate)
find_program(ZR7_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZR7_DESKTOP_VALIDATE AND ZR7_DPKG_SHLIBDEPS)
  add_test(NAME InstallationEtPaquet
    COMMAND ${CMAKE_SOURCE_DIR}/tests/installation/installation.sh ${CMAKE_BINARY_DIR})
  # cpack and lintian take about a minute each on a busy machine.
  set_tests_properties(InstallationEtPaquet PROPERTIES TIMEOUT 600)
endif()
