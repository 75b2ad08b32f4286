# What `cmake --install` puts where, and the Debian package (CPack) made from the same rules.
#
# Installed under CMAKE_INSTALL_PREFIX:
#   bin/                       tarnsp, and tarn when the client is built (it starts the player
#                              from its own folder, so both always go to the same place)
#   lib/tarn/modules/          tarnsp-window.so, the player's window, and tarn-keyring.so, the
#                              keyring's code, which the programs load from
#                              ../lib/tarn/modules beside their folder (TARN_MODULE_DIR)
#   share/applications/        a menu entry per program, named by its application id
#   share/icons/hicolor/scalable/apps/   their icons
#   share/mime/packages/       the file types .tns (scripts), .tnc (profiles), .tnl (library lists)
#   share/metainfo/            the software-centre description
#   share/man/man1/            tarn(1) and tarnsp(1), compressed
#   lib/systemd/user/          tarnsp@.service and tarnsp@.timer for scheduled scripts
#   share/doc/tarn/            the user documentation, example scripts, copyright and changelog
#
# Files that name installed paths (the player in the service unit, the documentation folder in
# the man pages) are written at install time for the prefix installed to, so `cmake --install
# --prefix ~/.local` and the package's /usr both get their own paths.
#
# Included from the top-level CMakeLists.txt after the programs are defined; the client's files
# are installed only when the client target exists.

include(GNUInstallDirs)

# Desktop application ids (reverse domain names, as menus and software centres want them). They
# name the menu entries, the icons and the metainfo file; change them here only, and never once
# released: desktops key favourites and file associations on them.
set(TARN_APP_ID_PREFIX "io.github.tarnftp")
set(TARN_CLIENT_ID "${TARN_APP_ID_PREFIX}.Tarn")
set(TARN_PLAYER_ID "${TARN_APP_ID_PREFIX}.TarnSP")
set(TARN_MAINTAINER "Tarn maintainers <maintainers@users.noreply.c-seed-986729d0.example>")
set(TARN_SYSTEMD_USER_UNIT_DIR "lib/systemd/user"
    CACHE STRING "Folder of systemd user units, relative to the prefix or absolute")

set(tarnDesktopSource "${PROJECT_SOURCE_DIR}/desktop")
set(tarnDesktopBinary "${PROJECT_BINARY_DIR}/desktop")

# Installs the template SOURCE (NAME.in) as NAME to DESTINATION, configured for the prefix at
# install time (cmake/TarnInstallText.cmake); with GZIP as NAME.gz.
function(tarn_install_text source destination)
    cmake_parse_arguments(PARSE_ARGV 2 arg "GZIP" "" "")
    set(gzip OFF)
    if(arg_GZIP)
        set(gzip ON)
    endif()
    install(CODE "
        set(TEXT_SOURCE [[${source}]])
        set(TEXT_DESTINATION [[${destination}]])
        set(TEXT_GZIP ${gzip})
        set(TEXT_WORK [[${tarnDesktopBinary}/installed]])
        set(TARN_BINDIR [[${CMAKE_INSTALL_BINDIR}]])
        set(TARN_DATADIR [[${CMAKE_INSTALL_DATADIR}]])
        set(TARN_UNITDIR [[${TARN_SYSTEMD_USER_UNIT_DIR}]])
        set(TARN_MODULEDIR [[${TARN_MODULE_DIR}]])
        set(PROJECT_VERSION [[${PROJECT_VERSION}]])
        include([[${PROJECT_SOURCE_DIR}/cmake/TarnInstallText.cmake]])")
endfunction()

# The programs. `tarn_installed_programs` builds just what the install rules need, without the
# tests (scripts/package builds only this).
add_custom_target(tarn_installed_programs)
set(tarnPrograms)
foreach(program tarnsp tarn)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        add_dependencies(tarn_installed_programs ${program})
        list(APPEND tarnPrograms ${program})
    endif()
endforeach()
# Not executable: a module is only ever loaded (Debian's rule for libraries).
set(tarnModules tarn-keyring)
if(TARGET tarnsp)
    list(APPEND tarnModules tarnsp-window)
endif()
install(TARGETS ${tarnModules} LIBRARY DESTINATION ${TARN_MODULE_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Menu entries, icons and the metainfo, for the programs that are built. The metainfo lists the
# client's entry first, so that software centres start the client.
set(TARN_METAINFO_LAUNCHABLES "")
set(TARN_METAINFO_BINARIES "")
foreach(program tarn tarnsp)
    if(NOT program IN_LIST tarnPrograms)
        continue()
    endif()
    if(program STREQUAL "tarn")
        set(id ${TARN_CLIENT_ID})
        set(windowTarget tarn)
    else()
        set(id ${TARN_PLAYER_ID})
        set(windowTarget tarnsp-window)
    endif()
    # The window names its menu entry (Wayland matches the two by it) and takes the icon
    # installed under the same name.
    if(TARGET ${windowTarget})
        target_compile_definitions(${windowTarget} PRIVATE TARN_DESKTOP_ID="${id}")
    endif()
    configure_file(${tarnDesktopSource}/applications/${program}.desktop.in
                   ${tarnDesktopBinary}/${id}.desktop @ONLY)
    install(FILES ${tarnDesktopBinary}/${id}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${tarnDesktopSource}/icons/${program}.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${id}.svg)
    string(APPEND TARN_METAINFO_LAUNCHABLES
           "  <launchable type=\"desktop-id\">${id}.desktop</launchable>\n")
    string(APPEND TARN_METAINFO_BINARIES "    <binary>${program}</binary>\n")

    # Man pages compressed, as Debian wants them; man reads them so everywhere.
    tarn_install_text(${tarnDesktopSource}/man/${program}.1.in ${CMAKE_INSTALL_MANDIR}/man1 GZIP)
endforeach()
string(STRIP "${TARN_METAINFO_LAUNCHABLES}" TARN_METAINFO_LAUNCHABLES)
string(PREPEND TARN_METAINFO_LAUNCHABLES "  ")
string(STRIP "${TARN_METAINFO_BINARIES}" TARN_METAINFO_BINARIES)
string(PREPEND TARN_METAINFO_BINARIES "    ")
configure_file(${tarnDesktopSource}/metainfo/tarn.metainfo.xml.in
               ${tarnDesktopBinary}/${TARN_CLIENT_ID}.metainfo.xml @ONLY)
install(FILES ${tarnDesktopBinary}/${TARN_CLIENT_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${tarnDesktopSource}/mime/tarn.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# Scheduling: the systemd user units, and the documentation that explains them and cron.
tarn_install_text(${tarnDesktopSource}/systemd/tarnsp@.service.in ${TARN_SYSTEMD_USER_UNIT_DIR})
install(FILES ${tarnDesktopSource}/systemd/tarnsp@.timer DESTINATION ${TARN_SYSTEMD_USER_UNIT_DIR})

# Documentation. The changelog is Debian's format (the package needs one); its date is the
# configure time unless SOURCE_DATE_EPOCH fixes it.
string(TIMESTAMP TARN_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${tarnDesktopSource}/debian/changelog.in ${tarnDesktopBinary}/changelog @ONLY)
execute_process(COMMAND gzip -9nc ${tarnDesktopBinary}/changelog
                OUTPUT_FILE ${tarnDesktopBinary}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/docs/scripting.md ${PROJECT_SOURCE_DIR}/docs/scheduling.md
              ${PROJECT_SOURCE_DIR}/docs/profiles.md
              ${tarnDesktopSource}/debian/copyright ${tarnDesktopBinary}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarn)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarn/examples FILES_MATCHING PATTERN "*.tns")

# A plain install (no DESTDIR, so not staging and not CPack) makes the new file types known at
# once; a Debian package gets the same from the triggers of shared-mime-info and
# desktop-file-utils.
install(CODE "set(TARN_DATADIR [[${CMAKE_INSTALL_DATADIR}]])")
install(CODE [[
    if("$ENV{DESTDIR}" STREQUAL "")
        cmake_path(ABSOLUTE_PATH TARN_DATADIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
        foreach(tool update-mime-database update-desktop-database)
            set(folder "${TARN_DATADIR}/mime")
            if(tool STREQUAL "update-desktop-database")
                set(folder "${TARN_DATADIR}/applications")
            endif()
            unset(program)
            find_program(program ${tool} NO_CACHE)
            if(program)
                message(STATUS "Refreshing: ${folder}")
                execute_process(COMMAND ${program} "${folder}")
            endif()
        endforeach()
    endif()
]])

# The Debian package (scripts/package), made by CPack from the install rules above with /usr as
# the prefix. Dependencies come from the installed binaries (dpkg-shlibdeps), never from a list
# kept by hand.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tarn")
set(CPACK_PACKAGE_CONTACT "${TARN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FTP client and script player for IBM i (AS/400) hosts")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarn moves files between a Linux desktop and IBM i (AS/400, OS/400) hosts
over FTP. The client, tarn, shows the libraries of the host as folders under
QSYS.LIB, keeps a list of the libraries you work with and records what you do
as a script. The script player, tarnsp, runs such scripts in a window or
unattended from cron or a systemd timer, with a full log and an exit status
that tells the scheduler how the run ended.")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# OpenSSL is loaded with dlopen at the first TLS connect (net/openssl_library.h), where
# dpkg-shlibdeps cannot see it: named by hand, the rest comes from the binaries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3 (>= 3.0.0)")
# The one dependency the binaries cannot show: QtKeychain loads libsecret (its way to GNOME
# Keyring and every other Secret Service) only at run time. Without it only KWallet is reached.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
