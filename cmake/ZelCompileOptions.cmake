# Warning, sanitizer and visibility settings shared by every target of the project.

function(zel_warnings target)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE -Wall -Wextra)
        if(ZEL_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()

if(ZEL_SANITIZE)
    add_compile_options(-fsanitize=${ZEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${ZEL_SANITIZE})
endif()

# A shared library of the project: warnings, its export macro (ZEL_BUILDING_<tag>) and the
# include directories that let clients write <ZelRegistry/...> in both trees.
function(zel_library_defaults target tag)
    zel_warnings(${target})
    target_compile_definitions(${target} PRIVATE ZEL_BUILDING_${tag})
    target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
        $<BUILD_INTERFACE:${ZEL_BUILD_INCLUDE_DIR}>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    if(WIN32)
        # Plain export names in the DLLs, without stdcall decoration.
        target_link_options(${target} PRIVATE -Wl,--kill-at)
    endif()
endfunction()
