# The Windows program folder as an installation: kv3380u.exe, the eight transport
# libraries and the help pages (for the web browser: the compiled help needs Qt's help
# generator and viewer, which come with a Qt for Windows), all in one folder. CPack makes
# a ZIP of it and an NSIS installer into Program Files with a Start-menu folder.
kv_interface_kinds()
set(_libraries)
foreach(prefix IN LISTS KV_KIND_PREFIXES)
    list(APPEND _libraries kvtransport_${prefix})
endforeach()
install(TARGETS kv3380u ${_libraries} RUNTIME DESTINATION .)
# With a Qt for Windows (KV_BUILD_GUI), the utility joins them; Qt's own DLLs and plug-ins
# are then to be put beside it (windeployqt), which this build does not do.
if(TARGET W_KV3380U)
    install(TARGETS W_KV3380U RUNTIME DESTINATION .)
endif()

# The help pages beside the program come from help/CMakeLists.txt.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_bits 64)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
else()
    set(_bits 32)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
endif()
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME kv3380u)
set(CPACK_PACKAGE_VENDOR "W_KV3380U")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "kv3380u: zálohy, klonování a sledování modulů KV-3380U")
set(CPACK_PACKAGE_FILE_NAME kv3380u-${PROJECT_VERSION}-win${_bits})
set(CPACK_PACKAGE_INSTALL_DIRECTORY KV3380U)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "KV3380U ${_bits}-bit")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
# ZIP: one folder, the program folder, as a user unpacks it anywhere.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

set(CPACK_NSIS_PACKAGE_NAME "kv3380u ${PROJECT_VERSION} (${_bits} bitů)")
set(CPACK_NSIS_DISPLAY_NAME "kv3380u ${PROJECT_VERSION} (${_bits} bitů)")
set(CPACK_NSIS_CONTACT "W_KV3380U developers <kv3380u@localhost>")
set(CPACK_NSIS_INSTALLED_ICON_NAME kv3380u.exe)
if(KV_WINDOWS_ICON)
    set(CPACK_NSIS_MUI_ICON ${KV_WINDOWS_ICON})
    set(CPACK_NSIS_MUI_UNIICON ${KV_WINDOWS_ICON})
endif()
# A Unicode installer, so that an installation folder with Czech letters works, from a
# script CPack writes in UTF-8.
set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS "-INPUTCHARSET UTF8")
set(CPACK_NSIS_DEFINES "Unicode true")
# kv3380u is a console program: its Start-menu entry opens a console in the user's own
# folder (the program folder is read-only there) with the program's help on the screen;
# the second entry opens the help pages in the web browser.
set(CPACK_NSIS_CREATE_ICONS_EXTRA "
  SetOutPath \\\"$PROFILE\\\"
  CreateShortCut \\\"$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\kv3380u (příkazový řádek).lnk\\\" \\\"$SYSDIR\\\\cmd.exe\\\" '/k \\\"\\\"$INSTDIR\\\\kv3380u.exe\\\" --help\\\"' \\\"$INSTDIR\\\\kv3380u.exe\\\" 0
  CreateShortCut \\\"$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Nápověda.lnk\\\" \\\"$INSTDIR\\\\help\\\\index.html\\\"
  SetOutPath \\\"$INSTDIR\\\"")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "
  Delete \\\"$SMPROGRAMS\\\\$MUI_TEMP\\\\kv3380u (příkazový řádek).lnk\\\"
  Delete \\\"$SMPROGRAMS\\\\$MUI_TEMP\\\\Nápověda.lnk\\\"")
include(CPack)
