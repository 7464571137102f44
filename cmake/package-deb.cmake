# The Debian package of the Linux programs: install rules and CPack settings.
# scripts/package-deb.sh builds the programs and the files below, then runs
# `cpack -G DEB` in the build folder.
include(GNUInstallDirs)

set(SP_PACKAGE_COMPONENT scaleprobe)
set(SP_LINUX_PACKAGING ${CMAKE_CURRENT_SOURCE_DIR}/packaging/linux)

# `install` (and so cpack) does not build everything first: the script builds
# what the package holds, and a full build is CI's release build anyway.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(SP_PROGRAMS scaleprobe-cli scaleprobe-sim WbDebugViewer)
if(TARGET scaleprobe)
    list(PREPEND SP_PROGRAMS scaleprobe)
endif()
install(TARGETS ${SP_PROGRAMS}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${SP_PACKAGE_COMPONENT})

# The icon at the sizes desktops ask for, drawn by the same script as the
# Windows one, and the man pages, compressed as Debian keeps them.
find_program(SP_PYTHON3 python3 REQUIRED)
find_program(SP_GZIP gzip REQUIRED)
set(SP_PACKAGE_FILES)
foreach(size 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}/scaleprobe.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}
        COMMAND ${SP_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/packaging/icon/make-icon.py ${png} ${size}
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/icon/make-icon.py
        VERBATIM)
    list(APPEND SP_PACKAGE_FILES ${png})
    install(FILES ${png}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        COMPONENT ${SP_PACKAGE_COMPONENT})
endforeach()
foreach(page scaleprobe scaleprobe-cli scaleprobe-sim WbDebugViewer)
    set(gz ${CMAKE_BINARY_DIR}/packaging/man/${page}.1.gz)
    add_custom_command(OUTPUT ${gz}
        COMMAND ${CMAKE_COMMAND} -E copy ${SP_LINUX_PACKAGING}/man/${page}.1
                ${CMAKE_BINARY_DIR}/packaging/man/${page}.1
        COMMAND ${SP_GZIP} -9 -n -f ${CMAKE_BINARY_DIR}/packaging/man/${page}.1
        DEPENDS ${SP_LINUX_PACKAGING}/man/${page}.1
        VERBATIM)
    list(APPEND SP_PACKAGE_FILES ${gz})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT ${SP_PACKAGE_COMPONENT})
endforeach()
add_custom_target(sp_package_files DEPENDS ${SP_PACKAGE_FILES})

if(TARGET scaleprobe)
    install(FILES ${SP_LINUX_PACKAGING}/scaleprobe.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT ${SP_PACKAGE_COMPONENT})
endif()

set(CPACK_PACKAGE_NAME scaleprobe)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "scaleprobe developers <scaleprobe@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "find the line settings and frame protocol of a weighing indicator")
set(CPACK_PACKAGE_DESCRIPTION
    "scaleprobe opens a serial port with one candidate setting after another,
decodes the weight frames a weighbridge indicator sends, shows each weight
on an LED dot-matrix display and stops at the first setting that yields four
weights. The package holds the window (scaleprobe), the same search on the
console (scaleprobe-cli), a simulated indicator (scaleprobe-sim) and the
debug message viewer (WbDebugViewer).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};scaleprobe;${SP_PACKAGE_COMPONENT};/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt 6 Widgets and the C++ runtime come from the libraries the programs link;
# the window's Chinese texts need a CJK font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei")
set(CPACK_GENERATOR DEB)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
