# What `cmake --install` puts under the prefix, and the Debian package that
# `cpack -G DEB` makes of it: the programs, the desktop entry with its icon,
# the file type of memory images, the manual pages and the guides.
include(GNUInstallDirs)

install(TARGETS kovar3-run RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kovar3-asm)
    install(TARGETS kovar3-asm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(kovar_data ${PROJECT_SOURCE_DIR}/data)

# Manual pages, compressed as the system's own are.
set(kovar_man_pages kovar3-run.1)
if(TARGET kovar3)
    list(APPEND kovar_man_pages kovar3.1)
endif()
if(TARGET kovar3-asm)
    list(APPEND kovar_man_pages kovar3-asm.1)
endif()
find_program(KOVAR_GZIP gzip)
foreach(page IN LISTS kovar_man_pages)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page})
    if(KOVAR_GZIP)
        set(out ${CMAKE_BINARY_DIR}/man/${page}.gz)
        add_custom_command(OUTPUT ${out}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${KOVAR_GZIP} -9nc ${source} > ${out}
            DEPENDS ${source} VERBATIM)
        list(APPEND kovar_man_outputs ${out})
        install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
        install(FILES ${source} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endforeach()
add_custom_target(kovar3-man ALL DEPENDS ${kovar_man_outputs})

if(TARGET kovar3)
    install(TARGETS kovar3 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${kovar_data}/kovar3.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${kovar_data}/kovar3-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
            RENAME kovar3.xml)

    # The icon is drawn once, as SVG; the sizes that menus and file managers
    # ask for are rendered from it at build time.
    install(FILES ${kovar_data}/kovar3.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    find_program(KOVAR_RSVG_CONVERT rsvg-convert)
    if(KOVAR_RSVG_CONVERT)
        foreach(size 16 32 48 64 128 256)
            set(dir ${CMAKE_BINARY_DIR}/icons/${size}x${size})
            add_custom_command(OUTPUT ${dir}/kovar3.png
                COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
                COMMAND ${KOVAR_RSVG_CONVERT} -w ${size} -h ${size} -o ${dir}/kovar3.png
                        ${kovar_data}/kovar3.svg
                DEPENDS ${kovar_data}/kovar3.svg VERBATIM)
            list(APPEND kovar_icons ${dir}/kovar3.png)
            install(FILES ${dir}/kovar3.png
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
        endforeach()
        add_custom_target(kovar3-icons ALL DEPENDS ${kovar_icons})
    else()
        message(STATUS "rsvg-convert not found: only the scalable icon is installed")
    endif()
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "man" EXCLUDE PATTERN "screenshot" EXCLUDE)
if(EXISTS ${PROJECT_SOURCE_DIR}/examples)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# cpack -G DEB
set(KOVAR_MAINTAINER "KOVAR 3 developers <kovar3@example.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_NAME kovar3)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KOVAR_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "teaching simulator of a 32-bit processor with two hardware stacks")
set(CPACK_PACKAGE_DESCRIPTION
    "KOVAR 3 is a desktop simulator of a small 32-bit processor with a data
stack, a return stack, four user registers and 1001 bytes of memory. A
student enters a program byte by byte, with the instruction constructor or as
assembly text, runs it or steps through it, and follows every micro-step in
the trace pane. It comes with a number converter, an infix-to-postfix
calculator and kovar3-run, which runs memory images without windows and checks
a class's results against expected values.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KOVAR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET kovar3)
    # The window needs a platform plugin, Qt's Russian texts and a font; the
    # libraries alone do not pull them.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
endif()
include(CPack)
