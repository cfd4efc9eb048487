# `make package`: a Debian package of what `make install` installs, with the libraries it needs
# found by dpkg-shlibdeps and declared as its dependencies.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VENDOR "Halvorn")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tweaking utility for Windows 95/98/ME and Wine prefixes")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvex changes hidden settings of Windows 95/98/ME (and NT) in the Wine prefixes a user has: "
    "the own ~/.wine and those of winetricks, Bottles, Lutris, Heroic, Steam (Proton) and PlayOnLinux.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Korvex team")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts (message box and file dialog buttons) in Russian come from Qt's translations.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
# Programs of a prefix are started through Wine when it is there; Korvex itself does not need it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
include(CPack)
