# The Windows build with mingw-w64 (see cmake/mingw-w64-x86_64.cmake, -i686.cmake).

enable_language(RC)

# The Windows tests run under wine, whose drive Z: is the root of the Linux file system:
# that is how they name the build's folders.
set(KV_TEST_BIN_DIR Z:${KV_BIN_DIR})
set(KV_TEST_SOURCE_DIR Z:${CMAKE_SOURCE_DIR})

# The MinGW runtime is linked statically, so that kv3380u.exe and every DLL stand alone;
# not into the programs that use Qt's DLLs (kv_windows_qt_program), which link it as DLLs
# as Qt does: a program with its own static copy of the C++ runtime beside Qt's shared one
# has two heaps and two sets of exception tables.
add_link_options(
    "$<$<NOT:$<BOOL:$<TARGET_PROPERTY:KV_SHARED_RUNTIME>>>:-static;-static-libgcc;-static-libstdc++>")

# Windows 7 is the oldest system the declarations admit; the program calls nothing
# younger without asking first (LoadLibraryExW's search flags fall back).
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)

# CLI11 and nlohmann-json are header-only and come from the build machine's packages
# (libcli11-dev, nlohmann-json3-dev). /usr/include itself must never be on the cross
# compiler's path (its C library headers are Linux's), so a folder of links gives it
# exactly these two.
set(KV_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${KV_HOST_HEADERS})
foreach(dir CLI nlohmann)
    if(NOT EXISTS /usr/include/${dir})
        message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/deps.sh")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${KV_HOST_HEADERS}/${dir} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${KV_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${KV_HOST_HEADERS})

# GoogleTest built from Debian's sources (libgtest-dev puts them in /usr/src/googletest)
# with the cross compiler; it provides GTest::gtest, GTest::gmock and GTest::gtest_main.
if(KV_BUILD_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# The program's icon for Explorer and the Start menu, drawn from the SVG (librsvg2-bin,
# imagemagick); without the tools the programs simply have none.
find_program(KV_RSVG_CONVERT rsvg-convert)
find_program(KV_MAGICK_CONVERT convert)
set(KV_WINDOWS_ICON "")
if(KV_RSVG_CONVERT AND KV_MAGICK_CONVERT)
    set(KV_WINDOWS_ICON ${CMAKE_BINARY_DIR}/windows/kv3380u.ico)
    add_custom_command(
        OUTPUT ${KV_WINDOWS_ICON}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
        COMMAND ${KV_RSVG_CONVERT} -w 256 -h 256 -o ${CMAKE_BINARY_DIR}/windows/kv3380u-256.png
                ${CMAKE_SOURCE_DIR}/data/kv3380u.svg
        COMMAND ${KV_MAGICK_CONVERT} ${CMAKE_BINARY_DIR}/windows/kv3380u-256.png
                -define icon:auto-resize=256,48,32,16 ${KV_WINDOWS_ICON}
        DEPENDS ${CMAKE_SOURCE_DIR}/data/kv3380u.svg
        COMMENT "Drawing the Windows icon"
        VERBATIM)
    add_custom_target(kv_windows_icon DEPENDS ${KV_WINDOWS_ICON})
endif()

# One version and one publisher for every file of the Windows package and its installer.
# The program calls itself 1.03 (its About window, --version, the packages' names): major
# 1, minor 3, which Windows' four numbers write 1.3.0.0. The file version is those numbers
# as text too; the product version keeps the program's own 1.03.
string(REGEX REPLACE "^0+([0-9])" "\\1" _kv_minor "${PROJECT_VERSION_MINOR}")
set(KV_VERSION_NUMBERS "${PROJECT_VERSION_MAJOR}.${_kv_minor}.0.0")
string(REPLACE "." "," KV_RC_VERSION_NUMBERS "${KV_VERSION_NUMBERS}")
set(KV_RC_FILE_VERSION ${KV_VERSION_NUMBERS})
# The project's own name, as the About window names the maker.
set(KV_PUBLISHER "Vývojový tým W_KV3380U")

# kv_windows_resources(TARGET DESCRIPTION [LIBRARY FILE]): the version resource (Czech)
# of a Windows program or, with LIBRARY, of a transport library named FILE; a program also
# gets its manifest (asInvoker, the supported systems, long paths) and icon.
function(kv_windows_resources target description)
    cmake_parse_arguments(ARG "" "LIBRARY" "" ${ARGN})
    set(KV_RC_NAME ${target})
    set(KV_RC_DESCRIPTION ${description})
    set(dir ${CMAKE_BINARY_DIR}/windows)
    set(depends)
    if(ARG_LIBRARY)
        set(KV_RC_FILE ${ARG_LIBRARY})
        get_filename_component(KV_RC_NAME ${ARG_LIBRARY} NAME_WE)
        set(KV_RC_FILE_TYPE VFT_DLL)
        set(KV_RC_PROGRAM "")
    else()
        set(KV_RC_FILE ${target}.exe)
        set(KV_RC_FILE_TYPE VFT_APP)
        set(KV_RC_MANIFEST ${dir}/${target}.manifest)
        configure_file(${CMAKE_SOURCE_DIR}/data/windows/program.manifest.in ${KV_RC_MANIFEST} @ONLY)
        set(KV_RC_PROGRAM "1 24 \"${KV_RC_MANIFEST}\"")
        list(APPEND depends ${KV_RC_MANIFEST})
        if(KV_WINDOWS_ICON)
            string(APPEND KV_RC_PROGRAM "\n1 ICON \"${KV_WINDOWS_ICON}\"")
            list(APPEND depends ${KV_WINDOWS_ICON})
            add_dependencies(${target} kv_windows_icon)
        endif()
    endif()
    configure_file(${CMAKE_SOURCE_DIR}/data/windows/resources.rc.in ${dir}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${dir}/${target}.rc)
    set_source_files_properties(${dir}/${target}.rc PROPERTIES OBJECT_DEPENDS "${depends}")
endfunction()

# kv_windows_qt_runtime(): with a Qt for Windows, what a Qt program needs beside it in the
# program folder, copied there from the Qt prefix (as windeployqt lays it out): Qt's DLLs,
# the platform plug-ins (qwindows; qoffscreen for the tests, which the packages leave
# out), the style plug-in, the MinGW runtime DLLs Qt links against (from Qt's bin/, else
# the compiler's), and for the offscreen platform, which finds no font of Windows, one
# font in lib/fonts/. Sets KV_QT_RUNTIME_FILES (DESTINATION-relative paths in the program
# folder, for the packages) and makes the target kv_windows_qt_runtime.
function(kv_windows_qt_runtime)
    set(files)
    set(commands)
    set(outputs)
    set(sources)
    macro(_kv_deploy from to)
        list(APPEND sources ${from})
        list(APPEND outputs ${KV_BIN_DIR}/${to})
        list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${from} ${KV_BIN_DIR}/${to})
    endmacro()
    foreach(module Core Gui Widgets)
        get_target_property(dll Qt6::${module} IMPORTED_LOCATION_RELEASE)
        get_filename_component(name ${dll} NAME)
        _kv_deploy(${dll} ${name})
        list(APPEND files ${name})
    endforeach()
    foreach(plugin QWindowsIntegrationPlugin:platforms QOffscreenIntegrationPlugin:platforms
                   QWindowsVistaStylePlugin:styles)
        string(REPLACE ":" ";" plugin ${plugin})
        list(GET plugin 0 target)
        list(GET plugin 1 folder)
        get_target_property(dll Qt6::${target} IMPORTED_LOCATION_RELEASE)
        get_filename_component(name ${dll} NAME)
        _kv_deploy(${dll} ${folder}/${name})
        if(NOT target STREQUAL "QOffscreenIntegrationPlugin")
            list(APPEND files ${folder}/${name})
        endif()
    endforeach()
    foreach(name libstdc++-6.dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        set(dll ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}/${name})
        if(NOT EXISTS ${dll})
            execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE)
            if(NOT IS_ABSOLUTE "${dll}" AND name STREQUAL "libwinpthread-1.dll")
                set(dll /usr/${KV_MINGW_TRIPLET}/lib/${name})
            endif()
        endif()
        # The DLL of the other architecture's exception model (seh: 64-bit, dw2: 32-bit)
        # is not there.
        if(IS_ABSOLUTE "${dll}" AND EXISTS "${dll}")
            _kv_deploy(${dll} ${name})
            list(APPEND files ${name})
        endif()
    endforeach()
    set(font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf)
    if(EXISTS ${font})
        _kv_deploy(${font} lib/fonts/DejaVuSans.ttf)
    endif()
    add_custom_command(OUTPUT ${outputs}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KV_BIN_DIR}/platforms ${KV_BIN_DIR}/styles
                ${KV_BIN_DIR}/lib/fonts
        ${commands}
        DEPENDS ${sources}
        COMMENT "Qt's DLLs, plug-ins and the MinGW runtime beside the program"
        VERBATIM)
    add_custom_target(kv_windows_qt_runtime ALL DEPENDS ${outputs})
    set(KV_QT_RUNTIME_FILES ${files} PARENT_SCOPE)
endfunction()

# kv_windows_qt_program(TARGET): a program that uses Qt's DLLs: it links the MinGW runtime
# as they do, and finds Qt beside it in the program folder.
function(kv_windows_qt_program target)
    set_target_properties(${target} PROPERTIES KV_SHARED_RUNTIME ON)
    add_dependencies(${target} kv_windows_qt_runtime)
endfunction()
