# Installation under the GNU install dirs, and the .deb package through CPack.
include(GNUInstallDirs)

set(SENDWELL_APP_ID org.sendwellpro.Sendwell)

if(TARGET sendwell)
    install(TARGETS sendwell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/docs/man/sendwell.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/${SENDWELL_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/${SENDWELL_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size 16 24 32 48 64 128 256)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/sendwell-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME ${SENDWELL_APP_ID}.png)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/sendwell.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${SENDWELL_APP_ID}.svg)
endif()
if(TARGET sendwell-cli)
    install(TARGETS sendwell-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/docs/man/sendwell-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET sendwell-engine-simulator)
    install(TARGETS sendwell-engine-simulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/docs/man/sendwell-engine-simulator.1
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sendwell)
set(CPACK_PACKAGE_VENDOR Quenby)
set(CPACK_PACKAGE_CONTACT "Quenby <support@sendwellpro.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Submit web addresses to search-engine add-URL forms and review the answers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The web views and sounds load plugins at run time, which shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6webenginecore6-bin, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.sendwellpro.example/")
set(CPACK_STRIP_FILES ON)
include(CPack)
