# Small helpers shared by the folders' CMakeLists.

# kv_test(NAME LABEL SOURCES... [LIBS ...] [ENV ...] [PROPERTIES ...] [PROGRAM_ONLY]): one
# GoogleTest executable whose tests are registered with CTest under LABEL, with more test
# properties if given; PROGRAM_ONLY builds it for a script to run (LABEL unused).
function(kv_test name label)
    cmake_parse_arguments(ARG "PROGRAM_ONLY" "" "SOURCES;LIBS;ENV;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE KV_BIN_DIR="${KV_TEST_BIN_DIR}"
                                               KV_SOURCE_DIR="${KV_TEST_SOURCE_DIR}")
    if(ARG_PROGRAM_ONLY)
        return()
    endif()
    set(extra)
    # An empty ENVIRONMENT would take the next property's name for its value.
    if(ARG_ENV)
        list(APPEND extra ENVIRONMENT "${ARG_ENV}")
    endif()
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        # Under wine (tests/windows) every process start costs a wine start, half a
        # second: the whole executable is one test there, its cases in one process (the
        # output names a failing case).
        add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
        set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT 600 ${extra}
                                                FIXTURES_REQUIRED wine_prefix ${ARG_PROPERTIES})
        return()
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${label} TIMEOUT 300 ${extra} ${ARG_PROPERTIES})
endfunction()

# kv_wine_prefix_test([PROBE EXE]): the test wine_prefix, the fixture (wine_prefix) of
# every test that runs a Windows program under wine (scripts/wine-run.sh): it makes the
# wine prefix once, before those tests start together (tests/wine/PrepareWine.sh), and
# with PROBE also checks that the probe runs and sees code page 1250. An empty PROBE
# says that mingw-w64 is missing. Without wine or mingw-w64 it skips, unless CI is set.
function(kv_wine_prefix_test)
    cmake_parse_arguments(ARG "" "PROBE" "" ${ARGN})
    set(probe)
    if(DEFINED ARG_PROBE OR "PROBE" IN_LIST ARG_KEYWORDS_MISSING_VALUES)
        set(probe --probe "${ARG_PROBE}")
    endif()
    add_test(NAME wine_prefix
        COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/PrepareWine.sh
                ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${probe})
    set_tests_properties(wine_prefix PROPERTIES
        LABELS wine FIXTURES_SETUP wine_prefix SKIP_RETURN_CODE 77 TIMEOUT 900)
endfunction()

# kv_qt_free_library(TARGET): marks a library that never includes Qt (everything beneath
# the windows, and kv3380u's own); kvqtfree links them all.
function(kv_qt_free_library target)
    set_property(GLOBAL APPEND PROPERTY KV_QT_FREE_LIBRARIES ${target})
endfunction()

# kv_interface_kinds(): reads the table of the eight interface kinds that the program
# also compiles (transport/InterfaceKinds.def) into KV_KIND_PREFIXES, KV_KIND_FORMS
# (BLOCK, WORD, PLAIN), KV_KIND_FILES and KV_KIND_NAMES ("LAN QUDP"), in kind order.
function(kv_interface_kinds)
    set(def ${CMAKE_SOURCE_DIR}/transport/InterfaceKinds.def)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    file(STRINGS ${def} rows REGEX "^KV_INTERFACE_KIND\\(")
    set(prefixes)
    set(forms)
    set(files)
    set(names)
    set(expected 0)
    foreach(row IN LISTS rows)
        if(NOT row MATCHES "^KV_INTERFACE_KIND\\(([0-9]+), \"([^\"]*)\", ([A-Z0-9]+), (BLOCK|WORD|PLAIN), [0-9]+, [0-9]+\\)$")
            message(FATAL_ERROR "InterfaceKinds.def: cannot read the row '${row}'")
        endif()
        if(NOT CMAKE_MATCH_1 EQUAL expected)
            message(FATAL_ERROR "InterfaceKinds.def: kind ${CMAKE_MATCH_1} out of order")
        endif()
        math(EXPR expected "${expected} + 1")
        list(APPEND names "${CMAKE_MATCH_2}")
        list(APPEND prefixes ${CMAKE_MATCH_3})
        list(APPEND forms ${CMAKE_MATCH_4})
        list(APPEND files ${CMAKE_MATCH_3}.DLL)
    endforeach()
    if(NOT expected EQUAL 8)
        message(FATAL_ERROR "InterfaceKinds.def: ${expected} kinds instead of 8")
    endif()
    set(KV_KIND_PREFIXES ${prefixes} PARENT_SCOPE)
    set(KV_KIND_FORMS ${forms} PARENT_SCOPE)
    set(KV_KIND_FILES ${files} PARENT_SCOPE)
    set(KV_KIND_NAMES "${names}" PARENT_SCOPE)
endfunction()
