# A Debian package of what `cmake --install` installs (scripts/package builds it): it installs on
# a fresh Debian 12 with `apt install ./quillmere_*.deb`, which brings in Qt and libgit2.
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VENDOR "The Quillmere developers")
set(CPACK_PACKAGE_CONTACT "The Quillmere developers <quillmere@users.noreply.github.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/quillmere/quillmere")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "daily memos and notes kept as plain markdown files")
# dpkg shows the description as it is written: lines of at most 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmere keeps a memo for every day and free-form notes in folders, all as
plain UTF-8 markdown files in one ordinary folder. It has a Japanese user
interface, a calendar with Japanese national holidays, search across every
note and a rendered preview. The same program answers on the terminal
(quillmere search, today, memo, new, open, holidays, history, restore).")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_LICENSE "GPL-3.0-or-later")
# The libraries the program links (Qt, libgit2, the C++ runtime) come from dpkg-shlibdeps;
# these it cannot see: Qt's display plugins, its Japanese translation and the image plugins that
# read WebP and SVG pictures in notes load at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, qt6-image-formats-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")

# Debian keeps each package's licence in /usr/share/doc/<package>/copyright, and its changelog
# beside it.
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright"
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmere RENAME copyright)

# The changelog and the manual pages, compressed as Debian installs them: gzip -9n stores no
# name or time, so the same sources always give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(quillmere_compressed_docs)
foreach(source IN ITEMS changelog man/quillmere.1 man/quillmere-window.1)
    get_filename_component(name ${source} NAME)
    set(copy ${PROJECT_BINARY_DIR}/packaging/${name})
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/${source} ${copy}
        COMMAND ${GZIP_PROGRAM} -9nf ${copy}
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${source}
        COMMENT "Compressing ${source}"
        VERBATIM)
    list(APPEND quillmere_compressed_docs ${copy}.gz)
endforeach()
add_custom_target(quillmere_docs ALL DEPENDS ${quillmere_compressed_docs})
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmere)
install(FILES ${PROJECT_BINARY_DIR}/packaging/quillmere.1.gz
    ${PROJECT_BINARY_DIR}/packaging/quillmere-window.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Without the compilers' version notes in the programs, as Debian's own packages.
set(CPACK_QUILLMERE_OBJCOPY "${CMAKE_OBJCOPY}")
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/packaging/strip-comments.cmake")

# What lintian reports that is meant so, each with its reason.
install(FILES "${PROJECT_SOURCE_DIR}/packaging/lintian-overrides"
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quillmere)

include(CPack)
