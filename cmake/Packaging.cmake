# A Debian package of what `cmake --install` installs (scripts/package builds it): it installs on
# a fresh Debian 12 with `apt install ./quillmere_*.deb`, which brings in Qt and libgit2.
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VENDOR "The Quillmere developers")
set(CPACK_PACKAGE_CONTACT "The Quillmere developers <quillmere@users.noreply.github.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/quillmere/quillmere")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "daily memos and notes kept as plain markdown files")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmere keeps a memo for every day and free-form notes in folders, all as plain UTF-8
markdown files in one ordinary folder. It has a Japanese user interface, a calendar with
Japanese national holidays, search across every note and a rendered preview. The same
program answers on the terminal (quillmere search, today, memo, new, open, holidays).")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_LICENSE "GPL-3.0-or-later")
# The libraries the program links (Qt, libgit2, the C++ runtime) come from dpkg-shlibdeps;
# these it cannot see: Qt's display plugins and its Japanese translation load at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")

# Debian keeps each package's licence in /usr/share/doc/<package>/copyright.
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright"
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmere RENAME copyright)

include(CPack)
