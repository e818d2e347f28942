# The Windows release archive: `cmake --build BUILD --target package` (CPack, ZIP) gives
# sonavex-<version>-win32.zip from the i686 build and sonavex-<version>-win64.zip from the
# x86_64 one, holding the self-contained sonavex.exe with the README and the licence as
# text files that any Windows editor opens.
install(TARGETS sonavex RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

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
