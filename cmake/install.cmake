# What `cmake --install` puts under the prefix, and the Debian package made of
# it by `make package`:
#   bin/                                   invreport, invdb, invrender
#   lib/libinvisam.a                       the indexed-file library
#   include/invisam/isam/*.h               its store API (isam/store.h)
#   lib/cmake/invisam/                     find_package(invisam CONFIG)
#   lib/pkgconfig/invisam.pc               pkg-config invisam
#   share/man/man1/                        invreport.1, invdb.1, invrender.1
#   lib/invsql.so                          the SQLite extension
#   share/man/man7/invsql.7                its manual
#   share/bash-completion/completions/     invreport, invdb, invrender
include(CMakePackageConfigHelpers)

install(TARGETS invreport invdb invrender RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The library and its CMake package: find_package(invisam 1.0 CONFIG) gives the
# imported target invisam::invisam (include directory and C++20 included).
set(INVISAM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/invisam)
install(TARGETS invisam EXPORT invisamTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/invisam)
install(EXPORT invisamTargets NAMESPACE invisam:: DESTINATION ${INVISAM_CMAKE_DIR})
configure_package_config_file(cmake/invisamConfig.cmake.in ${PROJECT_BINARY_DIR}/invisamConfig.cmake
  INSTALL_DESTINATION ${INVISAM_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/invisamConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/invisamConfig.cmake ${PROJECT_BINARY_DIR}/invisamConfigVersion.cmake
  DESTINATION ${INVISAM_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so the installed
# tree may be moved (and `cmake --install --prefix` needs no reconfigure).
file(RELATIVE_PATH INVISAM_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" INVISAM_PC_TO_PREFIX "${INVISAM_PC_TO_PREFIX}")
configure_file(cmake/invisam.pc.in ${PROJECT_BINARY_DIR}/invisam.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/invisam.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Manual pages, with the version filled in.
foreach(page invreport.1 invdb.1 invrender.1)
  configure_file(doc/${page}.in ${PROJECT_BINARY_DIR}/doc/${page} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/doc/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The SQLite extension beside the library, and its manual.
install(TARGETS invsql LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
set(INVSQL_LOAD_PATH ${CMAKE_INSTALL_FULL_LIBDIR}/invsql)
configure_file(doc/invsql.7.in ${PROJECT_BINARY_DIR}/doc/invsql.7 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/doc/invsql.7 DESTINATION ${CMAKE_INSTALL_MANDIR}/man7)

# Bash completion, one file per program (bash-completion loads it by the
# command's name), each with the shared functions in front.
file(READ tools/completion/inv_common.bash INV_COMPLETION_COMMON)
foreach(program invreport invdb invrender)
  file(READ tools/completion/${program}.bash INV_COMPLETION_BODY)
  file(WRITE ${PROJECT_BINARY_DIR}/completion/${program} "${INV_COMPLETION_COMMON}${INV_COMPLETION_BODY}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS tools/completion/${program}.bash)
  install(FILES ${PROJECT_BINARY_DIR}/completion/${program}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS tools/completion/inv_common.bash)

# `make package`: one Debian package of everything above, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME invreport)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "Inventory reports maintainers <invreport@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
