# Installation and packaging. The executables and the data files they read lie together in one
# private folder (the application finds Demo1.txt and Demo2.txt beside itself); bin/ holds links.
include(CMakePackageConfigHelpers)

set(ZENDRIK_APP_DIR ${CMAKE_INSTALL_LIBDIR}/zendrik)

# Consumers of the installed package include <zendrik/zendrik.h>. The component is a static
# library on top of its layers' static libraries, which are installed with it.
install(TARGETS zendrik zendrik_job zendrik_output zendrik_pdf zendrik_raster zendrik_layout zendrik_document zendrik_base
    EXPORT ZendrikTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/printcomp/include/zendrik DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT ZendrikTargets NAMESPACE Zendrik:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Zendrik)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/ZendrikConfig.cmake.in
    ${CMAKE_BINARY_DIR}/ZendrikConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Zendrik)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZendrikConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZendrikConfig.cmake ${CMAKE_BINARY_DIR}/ZendrikConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Zendrik)

set(ZENDRIK_INSTALLED_PROGRAMS zendrik-print)
if(TARGET ZendrikDemo)
    list(APPEND ZENDRIK_INSTALLED_PROGRAMS ZendrikDemo)
endif()
install(TARGETS ${ZENDRIK_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${ZENDRIK_APP_DIR})
install(FILES ${ZENDRIK_DATA_FILES} DESTINATION ${ZENDRIK_APP_DIR})
foreach(program ${ZENDRIK_INSTALLED_PROGRAMS})
    install(CODE "
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(CREATE_LINK \"../${ZENDRIK_APP_DIR}/${program}\"
             \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" SYMBOLIC)")
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/docs/zendrik-print.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET ZendrikDemo)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/io.github.orvanel.ZendrikDemo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/io.github.orvanel.ZendrikDemo.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/printer-icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME zendrik-demo.png)
    # Read by the application from its own folder: it sets no font rules for other programs.
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/zendrik-demo-fonts.conf DESTINATION ${ZENDRIK_APP_DIR})
endif()

set(CPACK_PACKAGE_NAME zendrik-demo)
set(CPACK_PACKAGE_VENDOR "Orvanel")
set(CPACK_PACKAGE_CONTACT "Zendrik maintainers <maintainers@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zendrik document print component, its command line and demonstration")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Runtime dependencies from the linked libraries (Qt, libcups), plus the platform plugin's needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows' fonts: Wine's Tahoma, and the stand-ins packaging/zendrik-demo-fonts.conf names.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core, fonts-wine, fonts-comic-neue, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")
include(CPack)
