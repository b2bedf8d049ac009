# Installation under /usr and the Debian packages xqt-upgrade, xqt-cli and xqt-camsim, one CPack
# component each (`./run package`). The generated files (icons, man pages, changelogs, AppStream
# data) are built by target xqt-package-files, which also builds the three programs, so a packaging
# tree never builds the tests.

include(GNUInstallDirs)

# The AppStream data names its screenshot under the home page: packaging/screenshots/ holds the
# pictures to publish there, copies of what the wizard's screenshot test saves (test-output/wizard/).
set(XQT_HOMEPAGE "https://www.vexo.com/xqt-upgrade" CACHE STRING "Home page named by the packages and the AppStream data")
set(XQT_MAINTAINER "Vexo XQT developers <xqt-upgrade@vexo.com>" CACHE STRING "Maintainer of the Debian packages")
# The date of the release named by PROJECT_VERSION; kept with the entry of packaging/changelog.in.
set(XQT_RELEASE_DATE "2024-06-03")
set(XQT_PACKAGE_RELEASE 1)

set(xqt_pkgsrc ${CMAKE_SOURCE_DIR}/packaging)
set(xqt_pkg ${CMAKE_BINARY_DIR}/packaging)
set(xqt_package_files)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Compressed as Debian wants it: gzip -9n, without name or time stamp, so a rebuild gives the same bytes.
function(xqt_gzip input output)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${input} ${output}
        DEPENDS ${input} VERBATIM)
    set(xqt_package_files ${xqt_package_files} ${output} PARENT_SCOPE)
endfunction()

# Each package: its program, man page, copyright and changelog.
set(xqt_components cli camsim)
if(XQT_WITH_GUI)
    list(PREPEND xqt_components upgrade)
endif()
set(XQT_DEBIAN_VERSION ${PROJECT_VERSION}-${XQT_PACKAGE_RELEASE})
configure_file(${xqt_pkgsrc}/changelog.in ${xqt_pkg}/changelog.Debian @ONLY)
xqt_gzip(${xqt_pkg}/changelog.Debian ${xqt_pkg}/changelog.Debian.gz)
foreach(component ${xqt_components})
    set(program xqt-${component})
    configure_file(${xqt_pkgsrc}/man/${program}.1 ${xqt_pkg}/man/${program}.1 @ONLY)
    xqt_gzip(${xqt_pkg}/man/${program}.1 ${xqt_pkg}/man/${program}.1.gz)
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
    install(FILES ${xqt_pkg}/man/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
    install(FILES ${xqt_pkgsrc}/copyright ${xqt_pkg}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${program} COMPONENT ${component})
endforeach()

install(FILES ${xqt_pkgsrc}/xqt-cli.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME xqt-cli COMPONENT cli)
# The demo fleet, and three small segments (127.0.40-42.x, time scale 0.02) for the Ansible walkthrough.
install(FILES ${CMAKE_SOURCE_DIR}/sim/fleets/demo.json ${CMAKE_SOURCE_DIR}/sim/fleets/segment-a.json
    ${CMAKE_SOURCE_DIR}/sim/fleets/segment-b.json ${CMAKE_SOURCE_DIR}/sim/fleets/segment-c.json
    DESTINATION ${CMAKE_INSTALL_DATADIR}/xqt-camsim/fleets COMPONENT camsim)

if(XQT_WITH_GUI)
    # The desktop's icon theme gets the program's own icon at the usual sizes.
    find_package(Qt6 REQUIRED COMPONENTS Gui)
    add_executable(xqt-mkicons EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/gui/tools/mkicons.cpp)
    target_link_libraries(xqt-mkicons PRIVATE Qt6::Gui)
    set(icon_sizes 16 32 48 64 128 256)
    set(icon_files)
    foreach(size ${icon_sizes})
        list(APPEND icon_files ${xqt_pkg}/icons/${size}.png)
        install(FILES ${xqt_pkg}/icons/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME xqt-upgrade.png COMPONENT upgrade)
    endforeach()
    add_custom_command(OUTPUT ${icon_files}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${xqt_pkg}/icons
        COMMAND xqt-mkicons ${CMAKE_SOURCE_DIR}/resources/icon.xpm ${xqt_pkg}/icons ${icon_sizes}
        DEPENDS xqt-mkicons ${CMAKE_SOURCE_DIR}/resources/icon.xpm
        COMMENT "Drawing the wizard's icon at the theme's sizes")
    list(APPEND xqt_package_files ${icon_files})

    configure_file(${xqt_pkgsrc}/com.vexo.XqtUpgrade.metainfo.xml.in ${xqt_pkg}/com.vexo.XqtUpgrade.metainfo.xml
        @ONLY)
    install(FILES ${xqt_pkgsrc}/com.vexo.XqtUpgrade.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT upgrade)
    install(FILES ${xqt_pkg}/com.vexo.XqtUpgrade.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        COMPONENT upgrade)
    # Firmware bundles (*.xqtfw) open in the wizard; shared-mime-info's trigger updates the database.
    install(FILES ${xqt_pkgsrc}/com.vexo.XqtUpgrade.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME com.vexo.XqtUpgrade.xml COMPONENT upgrade)
endif()

add_custom_target(xqt-package-files DEPENDS ${xqt_package_files})
foreach(component ${xqt_components})
    add_dependencies(xqt-package-files xqt-${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME xqt-upgrade)
set(CPACK_PACKAGE_VENDOR Vexo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${xqt_components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${XQT_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${XQT_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${XQT_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SECTION net)

set(CPACK_DEBIAN_UPGRADE_PACKAGE_NAME xqt-upgrade)
set(CPACK_DEBIAN_UPGRADE_PACKAGE_SECTION net)
set(CPACK_COMPONENT_UPGRADE_DESCRIPTION "firmware upgrade wizard for XQT network cameras
A desktop wizard that upgrades the firmware of XQT network cameras on the
local network segment, one camera by address or every camera that discovery
finds. It checks that the built-in firmware suits each camera, writes it,
follows the camera until it is back with the new version, and can keep the
camera's settings across the upgrade.")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME xqt-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION net)
# The completion script is read only where bash-completion is installed.
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS bash-completion)
set(CPACK_COMPONENT_CLI_DESCRIPTION "command-line firmware upgrade tool for XQT network cameras
The command-line front end of the XQT firmware upgrade tool, for scripts:
check a camera, upgrade it with the built-in firmware, discover the cameras
on the segment and check address lists. It shares the wizard's engine and
reports its results as exit codes or JSON.")

set(CPACK_DEBIAN_CAMSIM_PACKAGE_NAME xqt-camsim)
set(CPACK_DEBIAN_CAMSIM_PACKAGE_SECTION net)
set(CPACK_COMPONENT_CAMSIM_DESCRIPTION "simulated fleet of XQT network cameras
Serves simulated XQT cameras on loopback addresses: the HTTP interface the
firmware upgrade tool talks to, and optionally the discovery answer, with
knobs for faults. For training and for trying xqt-upgrade and xqt-cli
without cameras; a demo fleet is included.")

include(CPack)
