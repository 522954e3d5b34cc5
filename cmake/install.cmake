# Installation and packaging. Each install component is one Debian package of a single cpack run:
#   lib    libzendrik1      the shared library
#   dev    libzendrik-dev   headers, CMake package, pkg-config file, the libzendrik.so link
#   print  zendrik-print    the command and its manual page
#   demo   zendrik-demo     the application, its data files, launcher, icons and AppStream data
include(CMakePackageConfigHelpers)

set(ZENDRIK_HOMEPAGE "https://github.com/orvanel/zendrik")
set(ZENDRIK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zendrik)
set(ZENDRIK_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

# Shared libraries are not executable in Debian.
install(TARGETS zendrik EXPORT ZendrikTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/printcomp/include/zendrik DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
    COMPONENT dev)
install(EXPORT ZendrikTargets NAMESPACE Zendrik:: DESTINATION ${ZENDRIK_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/ZendrikConfig.cmake.in
    ${CMAKE_BINARY_DIR}/ZendrikConfig.cmake INSTALL_DESTINATION ${ZENDRIK_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZendrikConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZendrikConfig.cmake ${CMAKE_BINARY_DIR}/ZendrikConfigVersion.cmake
    DESTINATION ${ZENDRIK_CMAKE_DIR} COMPONENT dev)
# The pkg-config file finds its prefix from where it lies, like the CMake package.
set(ZENDRIK_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH ZENDRIK_PC_PREFIX_FROM_PCDIR /prefix/${ZENDRIK_PC_DIR} /prefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/zendrik.pc.in ${CMAKE_BINARY_DIR}/zendrik.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zendrik.pc DESTINATION ${ZENDRIK_PC_DIR} COMPONENT dev)

install(TARGETS zendrik-print RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT print)

# Compressed as Debian wants them: the manual page and the changelog.
set(ZENDRIK_MAN_GZ ${CMAKE_BINARY_DIR}/packaging/zendrik-print.1.gz)
set(ZENDRIK_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${ZENDRIK_MAN_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/docs/zendrik-print.1 > ${ZENDRIK_MAN_GZ}
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/zendrik-print.1 VERBATIM)
add_custom_command(OUTPUT ${ZENDRIK_CHANGELOG_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9 -n -c ${ZENDRIK_PACKAGING_DIR}/changelog > ${ZENDRIK_CHANGELOG_GZ}
    DEPENDS ${ZENDRIK_PACKAGING_DIR}/changelog VERBATIM)
add_custom_target(zendrik_package_files ALL DEPENDS ${ZENDRIK_MAN_GZ} ${ZENDRIK_CHANGELOG_GZ})
install(FILES ${ZENDRIK_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT print)
install(FILES ${ZENDRIK_PACKAGING_DIR}/zendrik-print.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME zendrik-print COMPONENT print)

set(ZENDRIK_COMPONENTS lib dev print)
set(ZENDRIK_PACKAGE_lib libzendrik1)
set(ZENDRIK_PACKAGE_dev libzendrik-dev)
set(ZENDRIK_PACKAGE_print zendrik-print)
set(ZENDRIK_PACKAGE_demo zendrik-demo)

if(TARGET ZendrikDemo)
    list(APPEND ZENDRIK_COMPONENTS demo)
    install(TARGETS ZendrikDemo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT demo)
    # The data files, and the font stand-ins the application reads (it sets no font rules for other
    # programs).
    install(FILES ${ZENDRIK_DATA_FILES} ${ZENDRIK_PACKAGING_DIR}/zendrik-demo-fonts.conf
        DESTINATION ${ZENDRIK_DEMO_DATA_DIR} COMPONENT demo)
    install(FILES ${ZENDRIK_PACKAGING_DIR}/io.github.orvanel.ZendrikDemo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT demo)
    install(FILES ${ZENDRIK_PACKAGING_DIR}/io.github.orvanel.ZendrikDemo.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT demo)
    foreach(size 32 64 128)
        install(FILES ${ZENDRIK_PACKAGING_DIR}/icons/zendrik-demo-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME zendrik-demo.png
            COMPONENT demo)
    endforeach()
    install(FILES ${ZENDRIK_PACKAGING_DIR}/icons/zendrik-demo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT demo)
endif()

foreach(component ${ZENDRIK_COMPONENTS})
    set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${ZENDRIK_PACKAGE_${component}})
    install(FILES ${ZENDRIK_PACKAGING_DIR}/copyright ${ZENDRIK_CHANGELOG_GZ} DESTINATION ${doc_dir}
        COMPONENT ${component})
endforeach()

# cpack --config BUILD/CPackConfig.cmake writes the packages into BUILD/packages, from any folder.
set(CPACK_PACKAGE_NAME zendrik)
set(CPACK_PACKAGE_VENDOR "Orvanel")
set(CPACK_PACKAGE_CONTACT "Zendrik maintainers <maintainers@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL ${ZENDRIK_HOMEPAGE})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${ZENDRIK_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE zendrik)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Runtime dependencies from what each package's binaries link (Qt, libcups, libzendrik1).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# libzendrik.so.1 is found in the build tree; the component dependencies name its package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/printcomp)

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libzendrik1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# A shlibs file for the packages built against the library, and the ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${ZENDRIK_PACKAGING_DIR}/triggers)
# The component needs a platform plugin (the programs use offscreen or the desktop's) and a font.
set(CPACK_DEBIAN_LIB_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_LIB_PACKAGE_SUGGESTS "cups")
set(CPACK_COMPONENT_LIB_DESCRIPTION "Zendrik document print component for Qt programs
Zendrik lays out a document made of a title, a body, a page header and a page
footer, each in its own font, and prints it on any CUPS printer (including
driverless IPP Everywhere printers) or into a PDF file, page by page, raising
Qt signals while it works. It needs Qt Gui only and never blocks the caller.
.
This package holds the shared library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzendrik-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libzendrik1 (= ${PROJECT_VERSION}), qt6-base-dev (>= 6.4)")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Zendrik document print component - development files
Zendrik lays out a document made of a title, a body, a page header and a page
footer, each in its own font, and prints it on any CUPS printer or into a PDF
file, raising Qt signals while it works.
.
This package holds the headers, the CMake package (find_package(Zendrik),
target Zendrik::Zendrik) and the pkg-config file (zendrik).")

set(CPACK_DEBIAN_PRINT_PACKAGE_NAME zendrik-print)
set(CPACK_DEBIAN_PRINT_PACKAGE_SECTION text)
set(CPACK_COMPONENT_PRINT_DEPENDS lib)
set(CPACK_COMPONENT_PRINT_DESCRIPTION "print text files on CUPS printers or into PDF files
zendrik-print is the command line of the Zendrik print component: it prints
text files with a title, a page header and a page footer, each in its own
font, with page numbers, the date, a border and rules, on any CUPS printer
or into a PDF file.")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME zendrik-demo)
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION x11)
set(CPACK_COMPONENT_DEMO_DEPENDS lib)
# The windows' fonts: Wine's Tahoma, and the stand-ins packaging/zendrik-demo-fonts.conf names.
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "fonts-wine, fonts-comic-neue, fonts-liberation2")
set(CPACK_COMPONENT_DEMO_DESCRIPTION "demonstration of the Zendrik document print component
Orvanel Demo shows what the Zendrik print component does and how little code
it takes: a start window prints a fixed document, an advanced window offers
every printer and document setting (printer, quality, paper size and bin,
orientation, copies, fonts, margins, page numbers, date, border and rules),
and a progress window shows the page being printed.")
include(CPack)
