# Makes a 32-bit DLL's import library from the export list that ld wrote while linking the DLL
# with --kill-at (cmake -DDEF=... -DDLL=... -DIMPLIB=... -DDLLTOOL=... -P this file).
#
# ld lists a __stdcall export as "name = name@n": exported undecorated, defined decorated.
# Callers' objects refer to the decorated name, so the import library must define name@n
# while importing "name" from the DLL, which is what dlltool --kill-at makes of "name@n".
cmake_minimum_required(VERSION 3.25)

foreach(var DEF DLL IMPLIB DLLTOOL)
    if(NOT ${var})
        message(FATAL_ERROR "ZelWin32ImportLib.cmake: ${var} is not set")
    endif()
endforeach()

file(STRINGS ${DEF} lines)
set(exports "")
set(count 0)
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*(LIBRARY|EXPORTS|;)" OR line MATCHES "^[ \t]*$")
        continue()
    elseif(line MATCHES "^[ \t]+([^ \t=]+) = ([^ \t]+)(.*)$")
        string(APPEND exports "    ${CMAKE_MATCH_2}${CMAKE_MATCH_3}\n")
    elseif(line MATCHES "^[ \t]+[^ \t]")
        string(APPEND exports "${line}\n")
    else()
        message(FATAL_ERROR "${DEF}: unexpected line: ${line}")
    endif()
    math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
    message(FATAL_ERROR "${DEF} lists no exports")
endif()

set(decorated ${DEF}.decorated)
file(WRITE ${decorated} "LIBRARY \"${DLL}\"\nEXPORTS\n${exports}")
execute_process(COMMAND ${DLLTOOL} --kill-at --input-def ${decorated} --dllname ${DLL}
                        --output-lib ${IMPLIB}.new
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${DLLTOOL} failed (${rc}) for ${DLL}")
endif()
file(RENAME ${IMPLIB}.new ${IMPLIB})
