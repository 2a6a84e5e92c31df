# The release package: `cmake --install` lays the programs, the client library and its
# headers, and the documentation out, and CPack zips them. Two components, each its own ZIP:
#
#   service    bin/qelapp32.exe, bin/qelctl.exe (32-bit), bin64/qelctl.exe (64-bit),
#              lib/libqelclient.a (32-bit), lib64/libqelclient.a (64-bit),
#              include/qelapp32/client.h and qelclient.h, share/doc/qelapp32/ (README.md and docs/)
#   simulator  simulator/QRMTOV.DLL and simulator/simulated-printer.md
#
# The simulated library never goes to bin/: beside qelapp32.exe it would be loaded in
# place of the printer's own QRMTOV.DLL. scripts/package.sh builds both ZIPs.

set(QEL_PACKAGE_VERSION 1.0.0)

install(TARGETS qelapp32 qelctl RUNTIME DESTINATION bin COMPONENT service)
install(TARGETS qelclient ARCHIVE DESTINATION lib COMPONENT service)
# The 64-bit clients come from the clients64 build (build/bin64).
install(PROGRAMS ${QEL_BIN64_DIR}/qelctl.exe DESTINATION bin64 COMPONENT service)
install(FILES ${QEL_BIN64_DIR}/libqelclient.a DESTINATION lib64 COMPONENT service)
install(FILES ${CMAKE_SOURCE_DIR}/include/qelapp32/client.h ${CMAKE_SOURCE_DIR}/include/qelapp32/qelclient.h
        DESTINATION include/qelapp32 COMPONENT service)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/qelapp32 COMPONENT service)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION share/doc/qelapp32/docs COMPONENT service
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "simulated-printer.md" EXCLUDE)

install(FILES $<TARGET_FILE:qrmtov_sim> ${CMAKE_SOURCE_DIR}/docs/simulated-printer.md
        DESTINATION simulator COMPONENT simulator)

# cpack installs what is built; it does not build everything first (the tests need not
# exist for a package). scripts/package.sh builds the packaged targets.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME qelapp32)
set(CPACK_PACKAGE_VENDOR qelapp32)
set(CPACK_PACKAGE_VERSION ${QEL_PACKAGE_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Resident printer communication service and its command-line client")
set(CPACK_PACKAGE_FILE_NAME qelapp32-${QEL_PACKAGE_VERSION}-win32)
set(CPACK_GENERATOR ZIP)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL service simulator)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
