# Runs the zelreg program in a registry of its own (ZEL_REGISTRY_DIR=WORK):
#   MODE=demo      `zelreg demo` twice; both succeed and the second reads back the first's values
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
    if(NOT second MATCHES "RunCount=1 " OR NOT second MATCHES "Size=256")
        message(FATAL_ERROR "the second run did not read back what the first one wrote")
    endif()
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
