# Install rules: the public header, libzel32.so with its SONAME, a pkg-config
# file and a CMake package (find_package(zel32) gives zel32::zel32), and the
# zeld and zelft programs.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZEL_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zel32)

install(TARGETS zel32 EXPORT zel32Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/zel32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT zel32Targets NAMESPACE zel32:: DESTINATION ${ZEL_CMAKE_PACKAGE_DIR} COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zel32Config.cmake.in
                              ${CMAKE_BINARY_DIR}/package/zel32Config.cmake
                              INSTALL_DESTINATION ${ZEL_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/zel32ConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/zel32Config.cmake ${CMAKE_BINARY_DIR}/package/zel32ConfigVersion.cmake
        DESTINATION ${ZEL_CMAKE_PACKAGE_DIR} COMPONENT development)

# The pkg-config file finds the prefix from its own place, so that an
# installation may be moved (or made with `cmake --install --prefix`).
file(RELATIVE_PATH ZEL_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ZEL_PC_TO_PREFIX "${ZEL_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/zel32.pc.in ${CMAKE_BINARY_DIR}/package/zel32.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/zel32.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

# The programs, when this build has them.
foreach(program zeld zelft)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  endif()
endforeach()
