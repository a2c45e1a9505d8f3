# The Windows program folder as an installation: kv3380u.exe, the eight transport
# libraries and the help pages, all in one folder. CPack makes a ZIP of it and an NSIS
# installer into Program Files with a Start-menu entry.
kv_interface_kinds()
set(_libraries)
foreach(prefix IN LISTS KV_KIND_PREFIXES)
    list(APPEND _libraries kvtransport_${prefix})
endforeach()
install(TARGETS kv3380u ${_libraries} RUNTIME DESTINATION .)
