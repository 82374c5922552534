# Runs the zelreg program in a registry of its own (ZEL_REGISTRY_DIR=WORK):
#   MODE=demo      `zelreg demo` twice; both succeed and the second reads back the first's values
#                  and shows them as query does
#   MODE=bad-hive  a per-user hive file that is not a hive: query fails, naming the error
string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{ZEL_REGISTRY_DIR} ${WORK})

function(zelreg expected_code out_var)
    execute_process(COMMAND ${emulator} ${ZELREG} ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out
                    ERROR_VARIABLE err TIMEOUT 60)
    message("zelreg ${ARGN} (exit ${code}):\n${out}${err}")
    if(NOT code STREQUAL expected_code)
        message(FATAL_ERROR "expected exit code ${expected_code}, got ${code}")
    endif()
    set(${out_var} "${out}${err}" PARENT_SCOPE)
endfunction()

if(MODE STREQUAL "demo")
    # Windows keeps no registry in WORK: the demo's own key goes first.
    execute_process(COMMAND ${emulator} ${ZELREG} delete HKCU\\Software\\Quellmar\\Components\\ZelregDemo /f
                    OUTPUT_QUIET ERROR_QUIET TIMEOUT 60)
    zelreg(0 first demo)
    zelreg(0 second demo)
    if(NOT first MATCHES "this is the first run")
        message(FATAL_ERROR "the first run found settings")
    endif()
    # Read back through the library, and then as the registry holds them (the Size grew twice).
    string(REPLACE "\r" "" second "${second}")
    set(demo_key "HKEY_CURRENT_USER\\Software\\Quellmar\\Components\\ZelregDemo\\Versions\\1.0")
    foreach(expected "RunCount=1 Greeting=\"Hello from zelreg\""
                     "Panels\\Explorer: Caption=\"Project explorer\" Size=256 Visible=1"
                     "${demo_key}\\Settings\\Panels\\Explorer\\Size\n    TYPE    REG_DWORD    0x2\n    VALUE    REG_DWORD    0x110\n"
                     "    RunCount    REG_DWORD    0x2\n")
        string(FIND "${second}" "${expected}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "the second run did not read back what the first one wrote: ${expected}")
        endif()
    endforeach()
else()
    file(WRITE ${WORK}/user.hive "this is not a hive, and must be left as it is\n")
    zelreg(1 output query HKCU\\Software)
    if(NOT output MATCHES "error 1009" OR NOT output MATCHES "user.hive")
        message(FATAL_ERROR "the damaged hive was not reported with its error and file")
    endif()
    file(READ ${WORK}/user.hive content)
    if(NOT content STREQUAL "this is not a hive, and must be left as it is\n")
        message(FATAL_ERROR "the damaged hive file was changed")
    endif()
endif()
file(REMOVE_RECURSE ${WORK})
