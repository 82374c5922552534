# Installation: the libraries, the public headers below include/ZelRegistry (keeping their
# relative layout, which their own includes rely on), a CMake package and a pkg-config file,
# all of it relocatable: installed anywhere with `cmake --install --prefix`, it works there.
include(CMakePackageConfigHelpers)

set(ZEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZelRegistry)
set(ZEL_INSTALL_HEADERDIR ${CMAKE_INSTALL_INCLUDEDIR}/ZelRegistry)

install(TARGETS MORVAKOFSET111 MORVAKEH113 MORVAKLANG101 ZelAfx ZelWinReg ZelRegistry
        EXPORT ZelRegistryTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The public headers: the public classes at the root with the umbrella header, the exception
# headers, and what they include. The library's internal headers (frame/ZelConvert.h,
# frame/ZelLocalError.h, frame/ZelVersionInfo.h, Imp/), the error library's platform probe (ZelEhProgram.h), the
# framework's test hooks (AfxTestHooks.h) and the store's own headers stay out; the consumer
# test checks that the installed set is exactly what the public headers include.
file(GLOB ZEL_ROOT_HEADERS ${PROJECT_SOURCE_DIR}/*.h)
install(FILES ${ZEL_ROOT_HEADERS} DESTINATION ${ZEL_INSTALL_HEADERDIR})
install(FILES frame/ZelPlatform.h frame/ZelModule.h frame/ZelVersion.h frame/ZelPropertyObjectException.h
              frame/ZelPropertyLocalException.h
        DESTINATION ${ZEL_INSTALL_HEADERDIR}/frame)
install(FILES platform/ZelPlatform.h platform/ZelExport.h DESTINATION ${ZEL_INSTALL_HEADERDIR}/platform)
install(FILES platform/afx/ZelAfx.h platform/afx/AfxCore.h platform/afx/AfxException.h platform/afx/AfxList.h
              platform/afx/AfxModule.h platform/afx/AfxString.h
        DESTINATION ${ZEL_INSTALL_HEADERDIR}/platform/afx)
install(FILES platform/eh/ZelEh.h platform/eh/ZelEhBasis.h platform/eh/ZelEhDeleteAtTerminate.h
              platform/eh/ZelEhLogFile.h platform/eh/ZelEhString.h
        DESTINATION ${ZEL_INSTALL_HEADERDIR}/platform/eh)
install(FILES platform/lang/ZelLanguage.h DESTINATION ${ZEL_INSTALL_HEADERDIR}/platform/lang)
install(FILES platform/win32/ZelWinTypes.h DESTINATION ${ZEL_INSTALL_HEADERDIR}/platform/win32)
install(FILES platform/watch/ZelWatchWaitable.h DESTINATION ${ZEL_INSTALL_HEADERDIR}/platform/watch)
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

# The .pc file finds the prefix from where it lies (pkg-config's ${pcfiledir}), so it holds
# no absolute path; on Linux a program linked with its flags finds the libraries by its run
# path, without LD_LIBRARY_PATH.
file(RELATIVE_PATH ZEL_PC_PREFIX_FROM_PCFILEDIR /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ZEL_PC_PREFIX_FROM_PCFILEDIR "${ZEL_PC_PREFIX_FROM_PCFILEDIR}")
if(WIN32)
    # The DLLs need the compiler's shared runtime beside them.
    install(FILES ${ZEL_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
    set(ZEL_PC_REGISTRY_LIBS "-ladvapi32 -lshlwapi -lktmw32")
    set(ZEL_PC_RUN_PATH "")
else()
    set(ZEL_PC_REGISTRY_LIBS "-lZelWinReg")
    set(ZEL_PC_RUN_PATH "-Wl,-rpath,\${libdir}")
endif()
configure_file(cmake/zelregistry.pc.in ${PROJECT_BINARY_DIR}/zelregistry.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zelregistry.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
