# What the two Windows toolchain files share: Debian's mingw-w64 cross compilers for the
# triplet KV_MINGW_TRIPLET (MingwTools.cmake). Programs and DLLs link the MinGW runtime
# statically (WindowsBuild.cmake), so kv3380u.exe and each transport library stand alone:
# no MinGW runtime DLL travels with them and a DLL imports only what Windows itself has.
set(CMAKE_SYSTEM_NAME Windows)
include(${CMAKE_CURRENT_LIST_DIR}/MingwTools.cmake)
kv_mingw_tools(${KV_MINGW_TRIPLET})
set(CMAKE_C_COMPILER ${KV_MINGW_CC})
set(CMAKE_CXX_COMPILER ${KV_MINGW_CXX})
set(CMAKE_RC_COMPILER ${KV_MINGW_RC})

# Libraries and packages of the target only: nothing of the build machine's /usr/lib may
# leak into a Windows program. A Qt for Windows named in CMAKE_PREFIX_PATH is a root too.
set(CMAKE_FIND_ROOT_PATH /usr/${KV_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and test discovery run the Windows programs under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
