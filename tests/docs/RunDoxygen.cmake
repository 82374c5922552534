# Writes the HTML reference; any warning fails it (the configuration says FAIL_ON_WARNINGS).
#   -DDOXYGEN=<doxygen, or ...-NOTFOUND> -DDOXYFILE=<configuration>
cmake_minimum_required(VERSION 3.25)
if(NOT DOXYGEN)
    message("Doxygen is not installed: the reference is not checked")
    return()
endif()
get_filename_component(dir ${DOXYFILE} DIRECTORY)
execute_process(COMMAND ${DOXYGEN} ${DOXYFILE} WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
    message(FATAL_ERROR "Doxygen (${rc}):\n${out}${err}")
endif()
