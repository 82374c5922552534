# Checks that every build preset of CMakePresets.json runs at most two jobs: Ninja's own
# default (one per core, and two more) runs a 2-core machine out of memory.
#   cmake -DPRESETS=<CMakePresets.json> -P CheckPresets.cmake
file(READ ${PRESETS} json)
string(JSON count LENGTH "${json}" buildPresets)
math(EXPR last "${count} - 1")
set(failures "")
foreach(i RANGE ${last})
    string(JSON name GET "${json}" buildPresets ${i} name)
    string(JSON jobs ERROR_VARIABLE missing GET "${json}" buildPresets ${i} jobs)
    if(missing OR jobs GREATER 2 OR jobs LESS 1)
        list(APPEND failures "${name}")
    endif()
endforeach()
if(failures)
    message(FATAL_ERROR "build presets without a cap of at most 2 jobs: ${failures}")
endif()
message(STATUS "${count} build presets, each at most 2 jobs")
