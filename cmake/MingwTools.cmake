# Debian's mingw-w64 cross tools, named in one place: the toolchain files of the Windows
# builds (MingwToolchain.cmake) and the Linux build's Windows probe of the settings file
# (tests/wine) take them from here. The -posix flavour of the compilers is the one whose
# C++ runtime has std::thread and std::mutex.
#   kv_mingw_tools(TRIPLET): sets KV_MINGW_CC, KV_MINGW_CXX and KV_MINGW_RC to the names
#   of the C and C++ compilers and the resource compiler for TRIPLET (x86_64-w64-mingw32,
#   i686-w64-mingw32).
macro(kv_mingw_tools triplet)
    set(KV_MINGW_CC ${triplet}-gcc-posix)
    set(KV_MINGW_CXX ${triplet}-g++-posix)
    set(KV_MINGW_RC ${triplet}-windres)
endmacro()
