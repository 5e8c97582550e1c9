# The Debian package: `cpack -G DEB` in the build folder (or scripts/package.sh) makes
# vidazorov_<version>_<arch>.deb from the install rules.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vidazorov)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vidazorov maintainers <maintainers@users.noreply.c-seed-18c71d50.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "race clock for the finish line of ski races")
# The extended description only: CPack puts the summary in front of it as the synopsis line. One
# string, since several would be joined with ";".
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "One operator starts a mass start, records every finisher with a key, a\n"
    "button or a photocell on a serial port's DSR line, stops the run and keeps\n"
    "the result list (rank, start number, time, gap, km/h), which can be saved,\n"
    "opened, printed and exported; Word and Excel exports go through LibreOffice.\n"
    "\n"
    "Every race is written to a journal as it happens, so that a crash or a\n"
    "power cut loses nothing the window showed.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# Library dependencies come from the program's shared libraries (dpkg-shlibdeps); the fonts the
# layout asks for are found at run time, and the office helper is a Python 3 script, so those are
# named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, python3")
# The program works without an office suite and says so when Word or Excel is asked for.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-writer, libreoffice-calc, python3-uno")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")

# What Debian asks of every package: the copyright and the changelog (compressed, as a native
# package's), in the package's documentation folder.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog
  COMMAND gzip -9 -n -f ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(vz_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME vidazorov)
include(CPack)
