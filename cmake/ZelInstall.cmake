# Install rules of the zel library, included from model/CMakeLists.txt:
#
#   <prefix>/include/zel.h
#   <prefix>/lib/libzel.a
#   <prefix>/lib/cmake/zel/        zelConfig.cmake, zelConfigVersion.cmake, zelTargets*.cmake
#                                  (find_package(zel) gives the imported target zel::zel)
#   <prefix>/lib/pkgconfig/zel.pc  (pkg-config --cflags --libs zel)
#
# Directories follow GNUInstallDirs. The install prefix may be changed when installing
# (cmake --install BUILD --prefix DIR): the CMake package is relocatable and zel.pc is written with
# the prefix in force at install time.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zel)

install(TARGETS zel EXPORT zelTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/model/include/zel.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT zelTargets NAMESPACE zel:: DESTINATION ${ZEL_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zelConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/zelConfig.cmake
                              INSTALL_DESTINATION ${ZEL_CMAKE_DIR})
# 0.x releases may change the interface from one minor version to the next.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zelConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zelConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/zelConfigVersion.cmake
        DESTINATION ${ZEL_CMAKE_DIR})

# zel.pc: everything but the prefix is filled in now, the prefix when installing.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(ZEL_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(ZEL_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
set(ZEL_PC_PREFIX "@ZEL_PC_PREFIX@")
configure_file(${CMAKE_CURRENT_LIST_DIR}/zel.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zel.pc.in @ONLY)
install(CODE "set(ZEL_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/zel.pc.in\" \"${CMAKE_CURRENT_BINARY_DIR}/zel.pc\" @ONLY)")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
