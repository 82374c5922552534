# Runs the zelreg program in a registry of its own (ZEL_REGISTRY_DIR=WORK):
#   MODE=demo      `zelreg demo` twice; both succeed and the second reads back the first's values
#                  and shows them as query does
#   MODE=bad-hive  a per-user hive file that is not a hive: query fails, naming the error
#   MODE=pipe      a tree exported to standard output and imported from standard input, through
#                  files and through a pipe between two processes; with DEVICES, also through
#                  /dev/stdout, which stays what it is
#   MODE=install   `cmake --install` of BUILD_DIR puts the program, its manual page and its bash
#                  completion where man and bash-completion look (MANDIR, DATADIR)
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
elseif(MODE STREQUAL "pipe")
    set(key "HKCU\\Software\\ZelregPipe")
    execute_process(COMMAND ${emulator} ${ZELREG} delete ${key} /f OUTPUT_QUIET ERROR_QUIET TIMEOUT 60)
    # In UTF-16 the text below holds the bytes 0D 0A and 1A, which a standard stream in text mode
    # on Windows would turn into a line break and the end of the input.
    file(WRITE ${WORK}/tree.reg "Windows Registry Editor Version 5.00\n\n[${key}]\n\"Count\"=dword:0000002a\n\n"
                                "[${key}\\Sub]\n\"Text\"=\"Hello, pipe\"\n\"Unicode\"=\"കਊ К\"\n")
    zelreg(0 ignored import ${WORK}/tree.reg)
    execute_process(COMMAND ${emulator} ${ZELREG} export ${key} - OUTPUT_FILE ${WORK}/stdout.reg
                    RESULT_VARIABLE code ERROR_VARIABLE err TIMEOUT 60)
    file(READ ${WORK}/stdout.reg exported HEX)
    # The byte order mark and "Wi" in UTF-16LE, and no message after the file.
    if(NOT code EQUAL 0 OR NOT err STREQUAL "" OR NOT exported MATCHES "^fffe57006900" OR
       exported MATCHES "546865206f7065726174696f6e")
        message(FATAL_ERROR "export to - (exit ${code}, ${err}) wrote more or less than the file: ${exported}")
    endif()
    zelreg(0 ignored delete ${key} /f)
    execute_process(COMMAND ${emulator} ${ZELREG} import - INPUT_FILE ${WORK}/stdout.reg
                    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    message("zelreg import - (exit ${code}):\n${out}${err}")
    execute_process(COMMAND ${emulator} ${ZELREG} export ${key} - OUTPUT_FILE ${WORK}/again.reg TIMEOUT 60)
    file(READ ${WORK}/again.reg again HEX)
    if(NOT again STREQUAL exported)
        message(FATAL_ERROR "import - changed the tree: ${again}")
    endif()
    zelreg(0 imported query ${key} /s)
    string(REPLACE "\r" "" imported "${imported}")
    if(NOT code EQUAL 0 OR NOT imported MATCHES "Count    REG_DWORD    0x2a\n.*Text    REG_SZ    Hello, pipe\n")
        message(FATAL_ERROR "import - did not bring the tree back")
    endif()
    execute_process(COMMAND ${emulator} ${ZELREG} export ${key} - COMMAND ${emulator} ${ZELREG} import -
                    RESULTS_VARIABLE codes OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    string(REPLACE "\r" "" out "${out}")
    # Standard error stays empty but for the warning where the registry has no transactions (Wine).
    string(REGEX REPLACE "^WARNING: This system's registry has no transactions[^\n]*\n" "" err "${err}")
    if(NOT codes STREQUAL "0;0" OR NOT out STREQUAL "The operation completed successfully.\n" OR NOT err STREQUAL "")
        message(FATAL_ERROR "export - | import - (exits ${codes}): ${out}${err}")
    endif()
    if(DEVICES)
        execute_process(COMMAND ${ZELREG} export ${key} /dev/stdout /y OUTPUT_FILE ${WORK}/devstdout.reg
                        RESULT_VARIABLE code ERROR_VARIABLE err TIMEOUT 60)
        file(READ ${WORK}/devstdout.reg written HEX)
        if(NOT code EQUAL 0 OR NOT written STREQUAL exported OR NOT IS_SYMLINK /dev/stdout)
            message(FATAL_ERROR "export to /dev/stdout (exit ${code}, ${err}) did not write the file alone")
        endif()
    endif()
    zelreg(0 ignored delete ${key} /f)
elseif(MODE STREQUAL "install")
    set(prefix ${WORK}/prefix)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} RESULT_VARIABLE code
                    OUTPUT_QUIET)
    if(NOT code EQUAL 0)
        message(FATAL_ERROR "cmake --install failed (${code})")
    endif()
    foreach(pair "docs/zelreg.1=${MANDIR}/man1/zelreg.1"
                 "tools/zelreg/zelreg.bash-completion=${DATADIR}/bash-completion/completions/zelreg")
        string(REPLACE "=" ";" pair "${pair}")
        list(GET pair 0 source)
        list(GET pair 1 installed)
        file(READ ${SOURCE_DIR}/${source} wanted)
        if(NOT EXISTS ${prefix}/${installed})
            message(FATAL_ERROR "${source} is not installed as ${installed}")
        endif()
        file(READ ${prefix}/${installed} got)
        if(NOT got STREQUAL wanted)
            message(FATAL_ERROR "${installed} is not ${source}")
        endif()
    endforeach()
    set(ZELREG ${prefix}/${BINDIR}/zelreg)
    zelreg(0 help /?)
    if(NOT help MATCHES "zelreg compare KEY1 KEY2")
        message(FATAL_ERROR "the installed zelreg does not run")
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
