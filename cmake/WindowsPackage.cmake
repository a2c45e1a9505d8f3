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
set(CPACK_PACKAGE_VENDOR "${KV_PUBLISHER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "kv3380u: zálohy, klonování a sledování modulů KV-3380U")
set(CPACK_PACKAGE_FILE_NAME kv3380u-${PROJECT_VERSION}-win${_bits})
set(CPACK_PACKAGE_INSTALL_DIRECTORY KV3380U)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "KV3380U ${_bits}-bit")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
# ZIP: one folder, the program folder, as a user unpacks it anywhere.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

# NSIS: our own installer script (cmake/nsis/NSIS.template.in): Czech, the Start-menu
# folder, the console entry of kv3380u, the desktop shortcut and the PATH entry on request,
# and an uninstaller that leaves nothing behind.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake/nsis)
set(CPACK_NSIS_PACKAGE_NAME "kv3380u ${PROJECT_VERSION} (${_bits} bitů)")
set(CPACK_NSIS_DISPLAY_NAME "kv3380u ${PROJECT_VERSION} (${_bits} bitů)")
if(KV_WINDOWS_ICON)
    set(CPACK_NSIS_MUI_ICON ${KV_WINDOWS_ICON})
    set(CPACK_NSIS_MUI_UNIICON ${KV_WINDOWS_ICON})
endif()
# The script is UTF-8 (its Czech letters); the installer is a Unicode one, so that an
# installation folder with Czech letters works.
set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS "-INPUTCHARSET UTF8")
string(REPLACE "." ";" _version "${KV_VERSION_NUMBERS}")
list(GET _version 0 _major)
list(GET _version 1 _minor)
set(CPACK_NSIS_DEFINES "
  !define KV_BITS ${_bits}
  !define KV_PUBLISHER \\\"${KV_PUBLISHER}\\\"
  !define KV_VERSION_NUMBERS ${KV_VERSION_NUMBERS}
  !define KV_VERSION_MAJOR ${_major}
  !define KV_VERSION_MINOR ${_minor}")
if(TARGET W_KV3380U)
    # The windows: the first entry of the Start-menu folder, the icon of the uninstall
    # entry, and on request a shortcut on the desktop.
    string(APPEND CPACK_NSIS_DEFINES "
  !define KV_WINDOWS
  !define KV_ICON_PROGRAM W_KV3380U.exe")
else()
    string(APPEND CPACK_NSIS_DEFINES "
  !define KV_ICON_PROGRAM kv3380u.exe")
endif()
include(CPack)
