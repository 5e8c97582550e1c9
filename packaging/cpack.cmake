# The Debian package: `cpack -G DEB` in the build folder (or scripts/package.sh) makes
# vidazorov_<version>_<arch>.deb from the install rules.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vidazorov)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vidazorov maintainers <maintainers@users.noreply.c-seed-18c71d50.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "race clock for the finish line of ski races")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "race clock for the finish line of ski races\n"
    "One operator starts a mass start, records every finisher with a key, a\n"
    "button or a photocell on a serial port's DSR line, stops the run and keeps\n"
    "the result list (rank, start number, time, gap, km/h), which can be saved,\n"
    "opened, printed and exported; Word and Excel exports go through LibreOffice.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# Library dependencies come from the program's shared libraries (dpkg-shlibdeps);
# the fonts the layout asks for are found at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
# The program works without an office suite and says so when Word or Excel is asked for.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-writer, libreoffice-calc, python3-uno")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")
include(CPack)
