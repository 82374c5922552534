# Runs a program or script of the users' guide in a registry of its own and compares what it
# prints with the guide's output listing of it, when the guide shows one.
#   -DGUIDE=docs/guide.md -DNAME=<name in the guide> -DWORK=<scratch directory>
#   -DPROGRAM=<program> [-DEMULATOR=<command, words separated by |>]   a program, or
#   -DSCRIPT=<script> -DPATH_DIRS=<directories for PATH, separated by |>  a script, run by bash
#   [-DUNDER=Wine]              run under Wine: the guide's listing "output: <name> under
#                               Wine" is what it prints there, where the guide shows one
#   [-DBEFORE=<program>]        run first, in the same registry: what the script looks at
#   [-DHOME_REGISTRY=ON]        the registry where it is by default, in the scratch HOME, not
#                               in a ZEL_REGISTRY_DIR
#   [-DBUILD_DIR=<build tree>]  for the client script: build/release in the scratch directory
#   [-DCLIENT=<directory> -DCLIENT_MAIN=<source>]  ... and in ledger/ the client's
#                               CMakeLists.txt and its program
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/GuideListings.cmake)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/home)
set(ENV{HOME} ${WORK}/home)
unset(ENV{XDG_CONFIG_HOME})
if(HOME_REGISTRY)
    unset(ENV{ZEL_REGISTRY_DIR})
else()
    file(MAKE_DIRECTORY ${WORK}/registry)
    set(ENV{ZEL_REGISTRY_DIR} ${WORK}/registry)
endif()
if(BUILD_DIR)
    file(MAKE_DIRECTORY ${WORK}/build)
    file(CREATE_LINK ${BUILD_DIR} ${WORK}/build/release SYMBOLIC)
    file(COPY ${CLIENT}/CMakeLists.txt ${CLIENT_MAIN} DESTINATION ${WORK}/ledger)
    # The client's own build: whatever generator is at hand.
    set(ENV{CMAKE_GENERATOR} Ninja)
endif()
string(REPLACE "|" ";" emulator "${EMULATOR}")
string(REPLACE "|" ":" path_dirs "${PATH_DIRS}")
if(path_dirs)
    set(ENV{PATH} "${path_dirs}:$ENV{PATH}")
endif()

function(run what)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc
                    OUTPUT_VARIABLE out ERROR_VARIABLE err)
    # Programs for Windows end their lines as Windows does.
    string(REPLACE "\r\n" "\n" out "${out}")
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed (${rc}):\n${out}${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

if(BEFORE)
    run("${BEFORE}" ${emulator} ${BEFORE})
endif()
if(SCRIPT)
    run("${SCRIPT}" bash --noprofile --norc -e -o pipefail ${SCRIPT})
else()
    run("${PROGRAM}" ${emulator} ${PROGRAM})
endif()

file(READ ${GUIDE} guide)
set(found FALSE)
if(UNDER)
    guide_listing("${guide}" "output: ${NAME} under ${UNDER}" expected found)
endif()
if(NOT found)
    guide_listing("${guide}" "output: ${NAME}" expected found)
endif()
if(NOT found)
    message("${out}")
elseif(NOT out STREQUAL expected)
    file(WRITE ${WORK}/printed.txt "${out}")
    file(WRITE ${WORK}/expected.txt "${expected}")
    message(FATAL_ERROR "${NAME} printed what the guide does not show "
                        "(diff ${WORK}/expected.txt ${WORK}/printed.txt):\n${out}")
endif()
file(REMOVE_RECURSE ${WORK})
