# Installing the Linux program as a desktop application, and its Debian package.
#
#   cmake --install BUILD            the program, desktop entry, icons, AppStream data,
#                                    manual page, licence
#   (cd BUILD && cpack -G DEB)       sonavex_<version>-1_<arch>.deb
#
# Only the program and its desktop files are installed; nothing of the tests or benchmarks.
if(NOT TARGET sonavex)
    return()
endif()
include(GNUInstallDirs)

# The application id is the home page's domain reversed, read from where the program keeps
# its address, so the two never disagree: https://sonavex.example.org/ gives
# org.example.sonavex.
file(STRINGS ${PROJECT_SOURCE_DIR}/app/commands.h sonavex_home_line
     REGEX "define SONAVEX_HOME_PAGE")
string(REGEX REPLACE ".*\"(https?://[^\"]*)\".*" "\\1" SONAVEX_HOME_PAGE "${sonavex_home_line}")
string(REGEX REPLACE "^https?://([^/]*).*" "\\1" sonavex_domain "${SONAVEX_HOME_PAGE}")
string(REPLACE "." ";" sonavex_labels "${sonavex_domain}")
list(REVERSE sonavex_labels)
list(JOIN sonavex_labels "." SONAVEX_APP_ID)
if(NOT SONAVEX_APP_ID MATCHES "^[a-z0-9-]+(\\.[a-z0-9-]+)+$")
    message(FATAL_ERROR "cannot make an application id of the home page '${SONAVEX_HOME_PAGE}'")
endif()

# The window names its desktop entry, so that the desktop shows the entry's name and icon.
target_compile_definitions(sonavex PRIVATE SONAVEX_APP_ID="${SONAVEX_APP_ID}")

# The date of this release (version: the project's), as AppStream and as Debian write it.
set(SONAVEX_RELEASE_DATE "2026-12-07")
set(SONAVEX_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 12:00:00 +0000")
set(SONAVEX_MAINTAINER "The Sonavex developers <developers@${sonavex_domain}>")
set(SONAVEX_DEB_VERSION "${PROJECT_VERSION}-1")

set(sonavex_desktop_dir ${PROJECT_SOURCE_DIR}/app/qt/desktop)
set(sonavex_out ${CMAKE_CURRENT_BINARY_DIR}/desktop)
configure_file(${sonavex_desktop_dir}/sonavex.desktop.in
    ${sonavex_out}/${SONAVEX_APP_ID}.desktop @ONLY)
configure_file(${sonavex_desktop_dir}/sonavex.metainfo.xml.in
    ${sonavex_out}/${SONAVEX_APP_ID}.metainfo.xml @ONLY)
configure_file(${sonavex_desktop_dir}/sonavex.1.in ${sonavex_out}/sonavex.1 @ONLY)
configure_file(${sonavex_desktop_dir}/changelog.Debian.in ${sonavex_out}/changelog.Debian @ONLY)

# Icons for the desktop's usual sizes, scaled from the program's own pixel maps by nearest
# neighbour (the 16-pixel one is drawn for its size); a small Qt tool does it, so nothing
# beyond what the program needs is required.
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_executable(sonavex_scale_icon ${sonavex_desktop_dir}/scale_icon.cpp)
target_link_libraries(sonavex_scale_icon PRIVATE Qt6::Gui)
set(sonavex_icon_sizes 16 32 48 64 128 256)
set(sonavex_generated)
foreach(size ${sonavex_icon_sizes})
    if(size EQUAL 16)
        set(source ${PROJECT_SOURCE_DIR}/app/art/icon16.xpm)
    else()
        set(source ${PROJECT_SOURCE_DIR}/app/art/icon.xpm)
    endif()
    set(png ${sonavex_out}/icons/${size}/${SONAVEX_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${sonavex_out}/icons/${size}
        COMMAND sonavex_scale_icon ${source} ${size} ${png}
        DEPENDS sonavex_scale_icon ${source}
        COMMENT "Icon ${size}x${size}" VERBATIM)
    list(APPEND sonavex_generated ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Compressed as Debian wants them: gzip -9, without a name or time stamp.
foreach(file sonavex.1 changelog.Debian)
    add_custom_command(OUTPUT ${sonavex_out}/${file}.gz
        COMMAND gzip -9 -n -c ${sonavex_out}/${file} > ${sonavex_out}/${file}.gz
        DEPENDS ${sonavex_out}/${file} VERBATIM)
    list(APPEND sonavex_generated ${sonavex_out}/${file}.gz)
endforeach()
add_custom_target(sonavex_desktop_files ALL DEPENDS ${sonavex_generated})

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS sonavex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${sonavex_out}/${SONAVEX_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${sonavex_out}/${SONAVEX_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
install(FILES ${sonavex_out}/sonavex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(sonavex_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/sonavex)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${sonavex_doc_dir} RENAME copyright)
install(FILES ${sonavex_out}/changelog.Debian.gz DESTINATION ${sonavex_doc_dir})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sonavex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Sonavex developers")
set(CPACK_PACKAGE_CONTACT "${SONAVEX_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "realtime audio spectrum analyser")
# Lines of at most 80 characters, as dpkg shows them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Sonavex shows the sound of the default audio input as it arrives: 88 bars\n"
    "on a linear frequency scale or one bar per piano key from A0 to C8, a keyboard\n"
    "or frequency scale under them, and a scrolling spectrogram or an oscilloscope\n"
    "trace below. A toolbar pauses recording, switches the views, zooms into the\n"
    "bass, keeps the window on top and opens the recording mixer.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${SONAVEX_HOME_PAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its display plugins at run time, out of shlibdeps' sight; without them there is
# no window.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pavucontrol | pavucontrol-qt")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
