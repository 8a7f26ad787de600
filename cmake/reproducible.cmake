# SOURCE_DATE_EPOCH for the release: every timestamp in Varnel.dll and in the zips is
# this date, so that two builds of one commit are alike byte for byte wherever they
# run. It comes from the environment when set there, else from the date of the last
# commit; a tree outside git gets 1980-01-01, the earliest date a zip can hold.
set(VARNEL_SOURCE_DATE_EPOCH 315532800)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(VARNEL_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} RESULT_VARIABLE rc
                        OUTPUT_VARIABLE commit_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(rc EQUAL 0 AND commit_date MATCHES "^[0-9]+$")
            set(VARNEL_SOURCE_DATE_EPOCH ${commit_date})
        endif()
        # A new commit or checkout moves HEAD's log; configure again to take its date.
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path logs/HEAD
                        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} RESULT_VARIABLE rc
                        OUTPUT_VARIABLE head_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(rc EQUAL 0 AND EXISTS "${head_log}")
            set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${head_log})
        endif()
    endif()
endif()
if(NOT VARNEL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$" OR VARNEL_SOURCE_DATE_EPOCH LESS 315532800)
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a count of seconds from 1980 on, "
                        "not '${VARNEL_SOURCE_DATE_EPOCH}'")
endif()
