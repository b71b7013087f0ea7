# SPDX-License-Identifier: GPL-3.0-or-later
# What turns the two programs into something a Linux desktop installs: the icon rendered in
# the sizes desktops ask for, the manual pages, the licence and changelog files, and the
# Debian package that holds them all (make package). Included from the top-level
# CMakeLists.txt after the programs are defined, so the window program can carry its icon.

find_program(KORVELLO_RSVG_CONVERT rsvg-convert REQUIRED) # librsvg2-bin
find_program(KORVELLO_SCDOC scdoc REQUIRED)
find_program(KORVELLO_GZIP gzip REQUIRED)

# The project's own address, as the README and the AppStream metadata give it.
set(KORVELLO_PACKAGE_MAINTAINER "The Korvello developers <korvello@users.noreply.github.com>"
    CACHE STRING "Maintainer field of the Debian package")
set(KORVELLO_HOMEPAGE "https://github.com/korvello/korvello")

# The date of this version's release, from the AppStream release list, dates the manual
# pages so that two builds of one version write the same bytes.
file(STRINGS ${PROJECT_SOURCE_DIR}/dist/io.github.korvello.Korvello.metainfo.xml
     korvello_release_line REGEX "<release version=\"${PROJECT_VERSION}\"")
if(korvello_release_line MATCHES "date=\"([0-9-]+)\"")
    set(KORVELLO_RELEASE_DATE ${CMAKE_MATCH_1})
else()
    message(WARNING "dist/io.github.korvello.Korvello.metainfo.xml has no release entry "
                    "for ${PROJECT_VERSION}; the manual pages carry the build's date")
endif()
set(korvello_date_env)
if(KORVELLO_RELEASE_DATE)
    execute_process(COMMAND date -u -d "${KORVELLO_RELEASE_DATE}" +%s
                    OUTPUT_VARIABLE korvello_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
    set(korvello_date_env SOURCE_DATE_EPOCH=${korvello_epoch})
endif()

# Icons: PNG renderings of the scalable icon beside it under hicolor, and the same
# pictures inside the window program for its window icon.
set(KORVELLO_ICON_SIZES 16 22 24 32 48 64 128 256)
set(korvello_svg ${PROJECT_SOURCE_DIR}/dist/korvello.svg)
set(korvello_pngs)
foreach(size IN LISTS KORVELLO_ICON_SIZES)
    set(png ${PROJECT_BINARY_DIR}/icons/korvello-${size}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons
        COMMAND ${KORVELLO_RSVG_CONVERT} --width=${size} --height=${size} --format=png
                --output=${png} ${korvello_svg}
        DEPENDS ${korvello_svg}
        COMMENT "Rendering the ${size}x${size} icon"
        VERBATIM)
    list(APPEND korvello_pngs ${png})
    install(FILES ${png} RENAME korvello.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
qt_add_resources(korvello korvello_icons
    PREFIX /korvello/icons
    BASE ${PROJECT_BINARY_DIR}/icons
    FILES ${korvello_pngs})

# Manual pages, from scdoc sources. The plain page stays in the build for the tests; the
# compressed one is installed.
set(korvello_man_pages)
foreach(page korvello.1 korvello-cli.1)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.scd)
    set(roff ${PROJECT_BINARY_DIR}/man/${page})
    add_custom_command(OUTPUT ${roff} ${roff}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E env ${korvello_date_env}
                sh -c "\"$0\" < \"$1\" > \"$2\" && \"$3\" -9nc \"$2\" > \"$2.gz\""
                ${KORVELLO_SCDOC} ${source} ${roff} ${KORVELLO_GZIP}
        DEPENDS ${source}
        COMMENT "Writing the manual page ${page}"
        VERBATIM)
    list(APPEND korvello_man_pages ${roff} ${roff}.gz)
    install(FILES ${roff}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The licence and the changelog where Debian keeps a package's documents.
set(korvello_changelog ${PROJECT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${korvello_changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
    COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${KORVELLO_GZIP}
            ${PROJECT_SOURCE_DIR}/dist/debian/changelog ${korvello_changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/dist/debian/changelog
    VERBATIM)
add_custom_target(korvello_desktop_files ALL
    DEPENDS ${korvello_pngs} ${korvello_man_pages} ${korvello_changelog})
set(korvello_docdir ${CMAKE_INSTALL_DATADIR}/doc/korvello)
install(FILES ${PROJECT_SOURCE_DIR}/dist/debian/copyright ${korvello_changelog}
        DESTINATION ${korvello_docdir})

# korvello-cli's completion for bash, where bash-completion loads it on first use.
install(FILES ${PROJECT_SOURCE_DIR}/dist/korvello-cli.bash RENAME korvello-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The Debian package. Its dependencies are those dpkg-shlibdeps finds in the programs. It
# recommends what the window program uses when it is there: xdg-open (without it "Open
# Directory" and a double-click's player do nothing) and the families the skin's fonts are
# mapped to (Noto Sans, and Noto Sans CJK KR for the title); bash-completion, which loads
# korvello-cli's completion, is a suggestion.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvello)
set(CPACK_PACKAGE_VENDOR "The Korvello developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KORVELLO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy the songs of an iPod into a folder")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVELLO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KORVELLO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-noto-core, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Korvello reads the music of an iPod attached to the computer as a USB disk,
or of a copy of one in a folder, and copies its songs out. Every song of the
device appears in a table that can be narrowed by artist, album or file type,
or searched by words; the marked songs are copied out of the iPod's hidden
music folders into a folder of the user's choice, named after their titles,
with a progress bar, a Stop command and a report of every song's outcome.
.
The package holds the window program korvello and its command-line companion
korvello-cli, which lists and copies songs from a terminal or a script.")
include(CPack)
