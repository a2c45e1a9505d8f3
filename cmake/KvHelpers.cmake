# Small helpers shared by the folders' CMakeLists.

# kv_test(NAME LABEL SOURCES... [LIBS ...]): one GoogleTest executable whose tests are
# registered with CTest under LABEL.
function(kv_test name label)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE KV_BIN_DIR="${KV_BIN_DIR}"
                                               KV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${label} ENVIRONMENT "${ARG_ENV}" TIMEOUT 300)
endfunction()

# kv_core_library(TARGET): marks a library as part of the core (no Qt); kvcore links it.
function(kv_core_library target)
    set_property(GLOBAL APPEND PROPERTY KV_CORE_LIBRARIES ${target})
endfunction()
