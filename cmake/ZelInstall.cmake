# Installation: the libraries, the public headers below include/ZelRegistry (keeping their
# relative layout, which their own includes rely on), a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

set(ZEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZelRegistry)
set(ZEL_INSTALL_HEADERDIR ${CMAKE_INSTALL_INCLUDEDIR}/ZelRegistry)

install(TARGETS MORVAKOFSET111 MORVAKEH113 MORVAKLANG101 ZelAfx ZelWinReg ZelRegistry
        EXPORT ZelRegistryTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

file(GLOB ZEL_ROOT_HEADERS ${PROJECT_SOURCE_DIR}/*.h)
install(FILES ${ZEL_ROOT_HEADERS} DESTINATION ${ZEL_INSTALL_HEADERDIR})
install(DIRECTORY frame DESTINATION ${ZEL_INSTALL_HEADERDIR} FILES_MATCHING PATTERN "*.h")
install(FILES platform/ZelPlatform.h platform/ZelExport.h DESTINATION ${ZEL_INSTALL_HEADERDIR}/platform)
foreach(dir afx eh lang win32)
    install(DIRECTORY platform/${dir} DESTINATION ${ZEL_INSTALL_HEADERDIR}/platform
            FILES_MATCHING PATTERN "*.h")
endforeach()
if(NOT WIN32)
    install(FILES platform/winreg/ZelWinReg.h DESTINATION ${ZEL_INSTALL_HEADERDIR}/platform/winreg)
endif()

install(EXPORT ZelRegistryTargets NAMESPACE ZelRegistry:: DESTINATION ${ZEL_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/ZelRegistryConfig.cmake.in
    ${PROJECT_BINARY_DIR}/ZelRegistryConfig.cmake INSTALL_DESTINATION ${ZEL_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZelRegistryConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZelRegistryConfig.cmake
              ${PROJECT_BINARY_DIR}/ZelRegistryConfigVersion.cmake
        DESTINATION ${ZEL_INSTALL_CMAKEDIR})

if(WIN32)
    # The DLLs need the compiler's shared runtime beside them.
    install(FILES ${ZEL_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
    set(ZEL_PC_REGISTRY_LIBS "-ladvapi32 -lshlwapi")
else()
    set(ZEL_PC_REGISTRY_LIBS "-lZelWinReg")
endif()
configure_file(cmake/zelregistry.pc.in ${PROJECT_BINARY_DIR}/zelregistry.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zelregistry.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
