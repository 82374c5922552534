# The users' guide cannot go stale: every listing in it is marked with what it shows, a file
# listing is that file exactly, an output listing belongs to a program or script that a test
# runs, and every file under examples/guide but the build's own is shown.
# cmake -DSOURCE=<source tree> -P CheckGuideListings.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/GuideListings.cmake)

file(READ ${SOURCE}/docs/guide.md guide)
set(problems "")

string(REGEX MATCHALL "\n```" fences "\n${guide}")
string(REGEX MATCHALL "<!-- (file|output): [^\n]* -->\n```" markers "${guide}")
list(LENGTH fences fence_count)
list(LENGTH markers marker_count)
math(EXPR listed_fences "2 * ${marker_count}")
if(NOT fence_count EQUAL listed_fences)
    string(APPEND problems "${fence_count} fence lines, but ${marker_count} marked listings: "
                           "every listing needs a marker line right above it\n")
endif()

set(shown "")
foreach(marker IN LISTS markers)
    string(REGEX REPLACE "^<!-- ([a-z]+): ([^\n]*) -->\n```$" "\\1" kind "${marker}")
    string(REGEX REPLACE "^<!-- ([a-z]+): ([^\n]*) -->\n```$" "\\2" name "${marker}")
    guide_listing("${guide}" "${kind}: ${name}" listing found)
    if(kind STREQUAL "file")
        if(NOT EXISTS ${SOURCE}/${name})
            string(APPEND problems "${name} is listed but does not exist\n")
            continue()
        endif()
        file(READ ${SOURCE}/${name} content)
        if(NOT listing STREQUAL content)
            string(APPEND problems "the listing of ${name} differs from the file\n")
        endif()
        list(APPEND shown ${name})
    else()
        # What a program prints under Wine, where that differs, is "output: <name> under Wine".
        string(REGEX REPLACE " under Wine$" "" program "${name}")
        if(NOT EXISTS ${SOURCE}/examples/guide/${program}.cpp AND
           NOT EXISTS ${SOURCE}/examples/guide/${program}.sh)
            string(APPEND problems "output of ${name}, which is no program or script in examples/guide\n")
        endif()
    endif()
endforeach()

file(GLOB_RECURSE examples RELATIVE ${SOURCE} ${SOURCE}/examples/guide/*)
list(REMOVE_ITEM examples examples/guide/CMakeLists.txt)
foreach(example IN LISTS examples)
    if(NOT example IN_LIST shown)
        string(APPEND problems "${example} is not shown in the guide\n")
    endif()
endforeach()

if(problems)
    message(FATAL_ERROR "docs/guide.md:\n${problems}")
endif()
list(LENGTH shown shown_count)
message(STATUS "${marker_count} listings checked, ${shown_count} of them files")
