# The Windows release archive: `cmake --build BUILD --target package` (CPack, ZIP) gives
# sonavex-<version>-win32.zip from the i686 build and sonavex-<version>-win64.zip from the
# x86_64 one, holding the self-contained sonavex.exe with a README written for its users and
# the licence, as text files with Windows line ends that any Windows editor opens.
install(TARGETS sonavex RUNTIME DESTINATION .)
file(STRINGS ${PROJECT_SOURCE_DIR}/app/commands.h sonavex_home_line
     REGEX "define SONAVEX_HOME_PAGE")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" SONAVEX_HOME_PAGE "${sonavex_home_line}")
configure_file(${PROJECT_SOURCE_DIR}/app/win32/README.txt.in ${PROJECT_BINARY_DIR}/README.txt
               @ONLY NEWLINE_STYLE WIN32)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt
               @ONLY NEWLINE_STYLE WIN32)
install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(sonavex_windows_arch win64)
else()
    set(sonavex_windows_arch win32)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME sonavex)
set(CPACK_PACKAGE_VENDOR "The Sonavex developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Realtime audio spectrum analyser")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME sonavex-${PROJECT_VERSION}-${sonavex_windows_arch})
# The files at the archive's top, not inside a folder named after the archive.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
