# The installed layout: the program folder (the program, the command-line program, their
# eight transport libraries, the emulator and the help) under <prefix>/lib/kv3380u, where
# both programs find all of them beside themselves, and links to the programs and the
# emulator on <prefix>/bin.
kv_interface_kinds()
set(_libraries)
foreach(prefix IN LISTS KV_KIND_PREFIXES)
    list(APPEND _libraries kvtransport_${prefix})
endforeach()
install(TARGETS W_KV3380U kv3380u kv3380u-emulator RUNTIME DESTINATION ${KV_INSTALL_PROGRAM_DIR})
install(TARGETS ${_libraries} LIBRARY DESTINATION ${KV_INSTALL_PROGRAM_DIR})

# Relative links, so that the installation can be moved (DESTDIR, a package). The
# program reads its folder from /proc/self/exe, which names the file the link leads to.
set(_links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${_links})
file(RELATIVE_PATH _to_program /usr/bin /usr/${KV_INSTALL_PROGRAM_DIR})
foreach(program W_KV3380U kv3380u kv3380u-emulator)
    file(CREATE_LINK ${_to_program}/${program} ${_links}/${program} SYMBOLIC)
    install(FILES ${_links}/${program} DESTINATION bin)
endforeach()

# The exporter as a service (disabled: the package enables nothing), its alerting rules
# for Prometheus and a Grafana dashboard.
install(FILES ${CMAKE_SOURCE_DIR}/data/systemd/kv3380u-exporter.service
    DESTINATION lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/data/prometheus/kv3380u-alerts.yml
    DESTINATION share/kv3380u/prometheus)
install(FILES ${CMAKE_SOURCE_DIR}/data/grafana/kv3380u-dashboard.json
    DESTINATION share/kv3380u/grafana)

# A .deb: dpkg-shlibdeps names the libraries the program and the transport libraries
# link; the platform plug-ins Qt needs to open a window are a package of their own.
# The help viewer is recommended rather than required: the program works without it
# (the help command then does nothing), while apt installs recommendations by default.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kv3380u)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration utility for the KV-3380U communication module")
set(CPACK_PACKAGE_DESCRIPTION
    "W_KV3380U connects to a KV-3380U module, which joins an RS-485 bus of KV modules to a LAN,\nreads, checks and writes its network parameters, remote management and three VLAN\ninterfaces, restarts it and shows its live diagnostics. The user interface is Czech.\nkv3380u does backups, restores, cloning to many modules and monitoring from the\ncommand line. A module emulator, kv3380u-emulator, stands in for the hardware.")
set(CPACK_PACKAGE_CONTACT "W_KV3380U developers <kv3380u@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "assistant-qt6, libqt6sql6-sqlite")
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
