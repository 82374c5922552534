# Reading the listings of the users' guide. A listing is a fenced block (a line of three
# backticks, the block, a line of three backticks) right below a marker line that says what it
# shows:
#   <!-- file: examples/guide/first-value.cpp -->   the whole file, exactly
#   <!-- output: first-value -->                    what that program or script prints
# Texts are handled whole with string(FIND), never as lists: the code holds semicolons.

# The text of the listing below `marker` (the marker without its comment brackets), with a
# newline after its last line, in `out`; `found` is FALSE when the guide has no such listing.
function(guide_listing text marker out found)
    set(${found} FALSE PARENT_SCOPE)
    string(FIND "${text}" "<!-- ${marker} -->\n```" at)
    if(at EQUAL -1)
        return()
    endif()
    string(SUBSTRING "${text}" ${at} -1 rest)
    # Past the marker line and the opening fence line.
    foreach(line marker fence)
        string(FIND "${rest}" "\n" eol)
        math(EXPR eol "${eol} + 1")
        string(SUBSTRING "${rest}" ${eol} -1 rest)
    endforeach()
    string(FIND "\n${rest}" "\n```" end)
    if(end EQUAL -1)
        message(FATAL_ERROR "the listing below <!-- ${marker} --> has no closing fence")
    endif()
    string(SUBSTRING "${rest}" 0 ${end} block)
    set(${out} "${block}" PARENT_SCOPE)
    set(${found} TRUE PARENT_SCOPE)
endfunction()
