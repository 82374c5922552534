# Warning, sanitizer and visibility settings shared by every target of the project.

function(zel_warnings target)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE -Wall -Wextra)
        if(ZEL_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()

if(WIN32 AND NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
    # Windows finds a program's DLLs beside it: every DLL and program of the build in one folder.
    set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
endif()

if(ZEL_SANITIZE)
    add_compile_options(-fsanitize=${ZEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${ZEL_SANITIZE})
endif()
if(ZEL_BUILD_FUZZ)
    # Coverage feedback from every module, the store and the library as much as the tool; only
    # the fuzz targets themselves link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# A shared library of the project: warnings, its export macro (ZEL_BUILDING_<tag>) and the
# include directories that let clients write <ZelRegistry/...> in both trees.
function(zel_library_defaults target tag)
    zel_warnings(${target})
    target_compile_definitions(${target} PRIVATE ZEL_BUILDING_${tag})
    if(NOT WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        # A library's calls to its own exported functions (CString's accessors, the registry
        # functions that call one another) go straight to them, not through the PLT, and may
        # be inlined: no program replaces them.
        target_compile_options(${target} PRIVATE -fno-semantic-interposition)
        target_link_options(${target} PRIVATE -Wl,-Bsymbolic-functions)
    endif()
    target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
        $<BUILD_INTERFACE:${ZEL_BUILD_INCLUDE_DIR}>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    if(WIN32)
        # Plain export names in the DLLs, without stdcall decoration; the DLLs carry their
        # module names as they are (MORVAKEH113.dll, not libMORVAKEH113.dll).
        target_link_options(${target} PRIVATE -Wl,--kill-at)
        set_target_properties(${target} PROPERTIES PREFIX "")
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            # ld strips the @n suffix of __stdcall names from the import library as well, so
            # callers, whose objects ask for name@n, could not link. The import library is made
            # anew from the DLL's export list: decorated symbols that import the plain names.
            set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.def)
            target_link_options(${target} PRIVATE -Wl,--output-def,${def})
            add_custom_command(TARGET ${target} POST_BUILD
                COMMAND ${CMAKE_COMMAND} -DDEF=${def} -DDLL=$<TARGET_FILE_NAME:${target}>
                        -DIMPLIB=$<TARGET_LINKER_FILE:${target}> -DDLLTOOL=${CMAKE_DLLTOOL}
                        -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ZelWin32ImportLib.cmake
                VERBATIM)
        endif()
    endif()
endfunction()
