# Installation under the GNU install dirs, and the .deb package through CPack.
include(GNUInstallDirs)

set(SENDWELL_APP_ID org.sendwellpro.Sendwell)
set(SENDWELL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/sendwell)

# Man pages and the changelog go in gzip-compressed, as Debian's tools expect; -n keeps the time out of
# the file, so a rebuild gives the same bytes.
set(SENDWELL_GZIPPED)
function(sendwell_gzip source)
    get_filename_component(name ${source} NAME)
    set(plain ${PROJECT_BINARY_DIR}/gzipped/${name})
    add_custom_command(OUTPUT ${plain}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
        COMMAND gzip -9nf ${plain}
        DEPENDS ${source} VERBATIM)
    set(SENDWELL_GZIPPED ${SENDWELL_GZIPPED} ${plain}.gz PARENT_SCOPE)
endfunction()
function(sendwell_install_man page)
    sendwell_gzip(${PROJECT_SOURCE_DIR}/docs/man/${page})
    set(SENDWELL_GZIPPED ${SENDWELL_GZIPPED} PARENT_SCOPE)
    install(FILES ${PROJECT_BINARY_DIR}/gzipped/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

if(TARGET sendwell)
    install(TARGETS sendwell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    sendwell_install_man(sendwell.1)
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
    sendwell_install_man(sendwell-cli.1)
endif()
if(TARGET sendwell-engine-simulator)
    install(TARGETS sendwell-engine-simulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    sendwell_install_man(sendwell-engine-simulator.1)
endif()

# The licence in Debian's machine-readable form, and the changelog.
sendwell_gzip(${PROJECT_SOURCE_DIR}/resources/package/changelog)
install(FILES ${PROJECT_BINARY_DIR}/gzipped/changelog.gz ${PROJECT_SOURCE_DIR}/resources/package/copyright
        DESTINATION ${SENDWELL_DOC_DIR})
add_custom_target(sendwell_gzipped ALL DEPENDS ${SENDWELL_GZIPPED})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sendwell)
set(CPACK_PACKAGE_VENDOR Quenby)
set(CPACK_PACKAGE_CONTACT "Quenby <support@sendwellpro.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Submit web addresses to search-engine add-URL forms and review the answers")
# The extended description, as the control file shows it: lines under 80 columns, blank lines between
# paragraphs.
set(CPACK_PACKAGE_DESCRIPTION "Sendwell! Pro keeps a list of your web addresses and your e-mail address,
submits every address to a catalogue of search-engine add-URL forms in one
cancellable run, and lets you page through each engine's answer afterwards.
It can also tell search engines that take IndexNow which addresses changed,
and import addresses from text files and sitemaps.

Around the submission it offers an analysis of a page's title, description
and keywords with advice, keyword suggestions from the top search results, a
meta-tag writer for local HTML files that keeps a backup, a rank check, a
server-status check and an upgrade check.

The package holds the window (sendwell), the same URL database and
submission from the command line (sendwell-cli), and
sendwell-engine-simulator, which plays the engines on a loopback port so
that a run can be tried without the internet.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The web views and sounds load plugins at run time, which shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6webenginecore6-bin, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.sendwellpro.example/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
