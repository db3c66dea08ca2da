# Installs the library, its headers, a CMake package (ZemUtil::zem_util) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS zem_util EXPORT ZemUtilTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/zem_util DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT ZemUtilTargets NAMESPACE ZemUtil:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZemUtil)

configure_package_config_file(cmake/ZemUtilConfig.cmake.in ${PROJECT_BINARY_DIR}/ZemUtilConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZemUtil)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZemUtilConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZemUtilConfig.cmake ${PROJECT_BINARY_DIR}/ZemUtilConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZemUtil)

if(BUILD_SHARED_LIBS)
  set(ZEM_UTIL_PC_CFLAGS "")
  set(ZEM_UTIL_PC_LIBS_PRIVATE "")
else()
  set(ZEM_UTIL_PC_CFLAGS "-DZEM_UTIL_STATIC")
  set(ZEM_UTIL_PC_LIBS_PRIVATE "-pthread ${CMAKE_DL_LIBS}")
  if(CMAKE_DL_LIBS)
    set(ZEM_UTIL_PC_LIBS_PRIVATE "-pthread -l${CMAKE_DL_LIBS}")
  endif()
endif()
get_target_property(ZEM_UTIL_PC_LIBNAME zem_util OUTPUT_NAME)
# Relocatable: the prefix is found from the .pc file's own place, so `cmake --install --prefix` works too.
file(RELATIVE_PATH ZEM_UTIL_PC_UP /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" ZEM_UTIL_PC_UP "${ZEM_UTIL_PC_UP}")
configure_file(cmake/zemutil.pc.in ${PROJECT_BINARY_DIR}/zemutil.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zemutil.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
