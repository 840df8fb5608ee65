# Installed layout and the Debian package: `cpack -G DEB` in the build folder writes
# tessaromandel_<version>_<arch>.deb, which `apt install ./tessaromandel_*.deb` installs.
include(GNUInstallDirs)
# Installing (and so packaging) builds nothing more: the package needs the two programs and the
# icons, not every test of the tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(linux_resources ${PROJECT_SOURCE_DIR}/resources/linux)
set(desktop_id org.tessaromandel.Tessaromandel)

install(TARGETS Tessaromandel tessaromandel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${linux_resources}/${desktop_id}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${linux_resources}/${desktop_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${linux_resources}/tessaromandel-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${linux_resources}/tessaromandel-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME tessaromandel-cli)

# The theme icons are drawn by the same script as the window's icon.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
set(icon_sizes 16 32 48 128 256)
set(icon_folder ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(icon_files)
foreach(size ${icon_sizes})
    list(APPEND icon_files ${icon_folder}/${size}.png)
endforeach()
add_custom_command(OUTPUT ${icon_files}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/resources/make_icon.py --png ${icon_folder}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/make_icon.py
    COMMENT "Drawing the theme icons")
add_custom_target(theme_icons ALL DEPENDS ${icon_files})
foreach(size ${icon_sizes})
    install(FILES ${icon_folder}/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tessaromandel.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaromandel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tessaromandel maintainers <maintainers@tessaromandel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "edit many spreadsheet workbooks in one pass")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds and replaces text in every sheet of every .xls, .xlsx and .xlsm file below a\n"
    "folder, runs several find/replace pairs at once, sets page headers and footers and\n"
    "renames sheets, with a Chinese window and the command line tessaromandel-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION office)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not found through the libraries: Qt's Chinese texts for the standard dialogs and a font that
# shows the window's Chinese on a bare desktop.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qttranslations5-l10n, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
