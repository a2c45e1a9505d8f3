cmake_policy(VERSION 3.25)

# The help for one system from the one source of every page: a page marks what holds for
# one system only as <!--linux-->...<!--/linux--> or <!--windows-->...<!--/windows--> (a
# block may sit within a line); the other system's blocks go, this system's stay without
# their marks. Blocks do not nest.
#
#   include(HelpVariant.cmake) and kv_help_variant(TEXT SYSTEM OUT_VAR), or as a script:
#   cmake -DSYSTEM=linux|windows -DIN=page.html -DOUT=page.html -P HelpVariant.cmake

# kv_help_variant(TEXT SYSTEM OUT_VAR): the text for SYSTEM; a mark without its end, a
# block within a block or an end without its mark stops with an error.
function(kv_help_variant text system out)
    set(result "")
    set(rest "${text}")
    while(TRUE)
        set(first -1)
        set(name "")
        foreach(candidate linux windows)
            string(FIND "${rest}" "<!--${candidate}-->" at)
            if(at GREATER -1 AND (first EQUAL -1 OR at LESS first))
                set(first ${at})
                set(name ${candidate})
            endif()
        endforeach()
        if(first EQUAL -1)
            string(APPEND result "${rest}")
            break()
        endif()
        string(SUBSTRING "${rest}" 0 ${first} before)
        string(APPEND result "${before}")
        string(LENGTH "<!--${name}-->" open)
        math(EXPR start "${first} + ${open}")
        string(SUBSTRING "${rest}" ${start} -1 rest)
        string(FIND "${rest}" "<!--/${name}-->" end)
        if(end EQUAL -1)
            message(FATAL_ERROR "${KV_HELP_PAGE}: <!--${name}--> without <!--/${name}-->")
        endif()
        string(SUBSTRING "${rest}" 0 ${end} block)
        if(block MATCHES "<!--/?(linux|windows)-->")
            message(FATAL_ERROR "${KV_HELP_PAGE}: a block within <!--${name}--> ... <!--/${name}-->")
        endif()
        if(name STREQUAL system)
            string(APPEND result "${block}")
        endif()
        string(LENGTH "<!--/${name}-->" close)
        math(EXPR start "${end} + ${close}")
        string(SUBSTRING "${rest}" ${start} -1 rest)
    endwhile()
    if(result MATCHES "<!--/(linux|windows)-->")
        message(FATAL_ERROR "${KV_HELP_PAGE}: <!--/${CMAKE_MATCH_1}--> without <!--${CMAKE_MATCH_1}-->")
    endif()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    if(NOT SYSTEM MATCHES "^(linux|windows)$" OR NOT IN OR NOT OUT)
        message(FATAL_ERROR "usage: cmake -DSYSTEM=linux|windows -DIN=FILE -DOUT=FILE -P HelpVariant.cmake")
    endif()
    set(KV_HELP_PAGE ${IN})
    file(READ ${IN} text)
    kv_help_variant("${text}" ${SYSTEM} result)
    file(WRITE ${OUT} "${result}")
endif()
