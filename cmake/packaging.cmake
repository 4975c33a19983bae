# The files a desktop and a package manager look for, and the Debian package (cpack -G DEB,
# or scripts/package from a clean tree).

set(FOLIVO_APP_ID org.folivo.Folivo)
set(FOLIVO_HOMEPAGE "https://folivo.example" CACHE STRING
    "Where the project is published: the metainfo's home page and screenshot are under it")
set(FOLIVO_MAINTAINER "The Folivo developers <folivo@folivo.example>")

set(FOLIVO_DATA_OUT ${CMAKE_CURRENT_BINARY_DIR}/data)
configure_file(data/${FOLIVO_APP_ID}.metainfo.xml.in
    ${FOLIVO_DATA_OUT}/${FOLIVO_APP_ID}.metainfo.xml @ONLY)
configure_file(data/folivo.1.in ${FOLIVO_DATA_OUT}/folivo.1 @ONLY)
configure_file(data/copyright ${FOLIVO_DATA_OUT}/copyright @ONLY)
# A native Debian package keeps its changelog in Debian's format, dated as the release.
execute_process(COMMAND date -u -R -d ${FOLIVO_RELEASE_DATE}
    OUTPUT_VARIABLE FOLIVO_RELEASE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
file(WRITE ${FOLIVO_DATA_OUT}/changelog
    "folivo (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Release ${PROJECT_VERSION}: see the README.\n\n"
    " -- ${FOLIVO_MAINTAINER}  ${FOLIVO_RELEASE_RFC2822}\n")

# Manual pages and changelogs are installed compressed, with no time stamp in the gzip header
# so that the same tree gives the same package.
foreach(page folivo.1 changelog)
    add_custom_command(OUTPUT ${FOLIVO_DATA_OUT}/${page}.gz
        COMMAND gzip -9nkf ${FOLIVO_DATA_OUT}/${page}
        DEPENDS ${FOLIVO_DATA_OUT}/${page} VERBATIM)
endforeach()
add_custom_target(folivo_data ALL DEPENDS ${FOLIVO_DATA_OUT}/folivo.1.gz
    ${FOLIVO_DATA_OUT}/changelog.gz)

install(FILES data/${FOLIVO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/folivo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${FOLIVO_DATA_OUT}/${FOLIVO_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${FOLIVO_DATA_OUT}/folivo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Debian keeps them under the package's name, not the project's.
install(FILES ${FOLIVO_DATA_OUT}/copyright ${FOLIVO_DATA_OUT}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/folivo)

# The libraries Folivo opens only when it first needs them: dpkg-shlibdeps sees only the
# linked ones, so these are named here. Each soname in a *_lazy.cpp has its package in this
# list (scripts/check_package compares them). The fonts are no library dependency at all:
# libwmf draws every WMF with the URW fonts, and the interface's Japanese text needs IPA
# Gothic. Qt's image plugins read PNG, WebP and TIFF pages, and qt6-wayland lets Folivo run
# natively on a Wayland desktop.
set(FOLIVO_RUNTIME_PACKAGES
    libarchive13 libwmf-0.2-7 libemf2svg1 libavif15 libjxl0.7
    fonts-urw-base35 fonts-ipafont-gothic qt6-image-formats-plugins qt6-wayland)
list(JOIN FOLIVO_RUNTIME_PACKAGES ", " FOLIVO_RUNTIME_DEPENDS)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME folivo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${FOLIVO_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${FOLIVO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${FOLIVO_RUNTIME_DEPENDS})
# CPack indents the lines of the long description and turns the empty line into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "reader for scanned books and folders of pictures, page by page
Folivo shows a folder of pictures, one picture, or a ZIP or LZH archive one
page at a time, with a Japanese user interface: every page fitted into the
window, fast page turns in the right order, zoom in steps and a fixed
magnification. Archives with Japanese names unpack correctly into Folivo's
own temporary folder and nowhere else.

A reading option adds PNG, WebP, TIFF, AVIF and JPEG XL pages and CBZ, RAR,
7z and tar books.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
