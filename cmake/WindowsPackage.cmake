# The Windows program folder as an installation: kv3380u.exe, the eight transport
# libraries and the help pages (for the web browser: there is no Qt Assistant for
# Windows here), with a Qt for Windows also W_KV3380U.exe and the Qt DLLs, plug-ins and
# MinGW runtime DLLs it needs, all in one folder. CPack makes a ZIP of it and an NSIS
# installer into Program Files with a Start-menu folder.
kv_interface_kinds()
set(_libraries)
foreach(prefix IN LISTS KV_KIND_PREFIXES)
    list(APPEND _libraries kvtransport_${prefix})
endforeach()
install(TARGETS kv3380u ${_libraries} RUNTIME DESTINATION .)
if(TARGET W_KV3380U)
    install(TARGETS W_KV3380U RUNTIME DESTINATION .)
    foreach(file IN LISTS KV_QT_RUNTIME_FILES)
        get_filename_component(folder ${file} DIRECTORY)
        if(NOT folder)
            set(folder .)
        endif()
        install(FILES ${KV_BIN_DIR}/${file} DESTINATION ${folder})
    endforeach()
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
if(TARGET W_KV3380U)
    # The windows: the first entry of the Start-menu folder, and on request a shortcut on
    # the desktop: a choice on the installer's components page (ticked), and in a silent
    # installation only with /DESKTOP. The uninstaller removes both.
    set(CPACK_NSIS_INSTALLED_ICON_NAME W_KV3380U.exe)
    string(PREPEND CPACK_NSIS_CREATE_ICONS_EXTRA "
  CreateShortCut \\\"$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\W_KV3380U.lnk\\\" \\\"$INSTDIR\\\\W_KV3380U.exe\\\"")
    string(APPEND CPACK_NSIS_DELETE_ICONS_EXTRA "
  Delete \\\"$SMPROGRAMS\\\\$MUI_TEMP\\\\W_KV3380U.lnk\\\"")
    set(CPACK_NSIS_PAGE_COMPONENTS "!insertmacro MUI_PAGE_COMPONENTS")
    string(APPEND CPACK_NSIS_DEFINES "
  !include FileFunc.nsh
  Section \\\"Zástupce W_KV3380U na ploše\\\" KvDesktopShortcut
    IfSilent 0 kvDesktop
    \\\${GetParameters} $R0
    ClearErrors
    \\\${GetOptions} $R0 \\\"/DESKTOP\\\" $R1
    IfErrors kvNoDesktop
  kvDesktop:
    CreateShortCut \\\"$DESKTOP\\\\W_KV3380U.lnk\\\" \\\"$INSTDIR\\\\W_KV3380U.exe\\\"
  kvNoDesktop:
  SectionEnd")
    set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  Delete \\\"$DESKTOP\\\\W_KV3380U.lnk\\\"")
endif()
include(CPack)
