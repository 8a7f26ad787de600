# CPack runs this after writing the zips. CPack's zips record each file's times as the
# file system has them (the change time included, which nothing can set), so every
# build would differ; each zip is written again by tools/fixed_zip.py with the same
# content, sorted, every entry dated SOURCE_DATE_EPOCH.
if(NOT CPACK_VARNEL_PYTHON)
    message(FATAL_ERROR "python3 is needed to write the packages; run scripts/setup")
endif()
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
    set(unpacked ${zip}.files)
    file(REMOVE_RECURSE ${unpacked})
    file(MAKE_DIRECTORY ${unpacked})
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${unpacked}
                    RESULT_VARIABLE rc)
    if(rc EQUAL 0)
        execute_process(COMMAND ${CPACK_VARNEL_PYTHON} ${CPACK_VARNEL_SOURCE_DIR}/tools/fixed_zip.py
                                ${zip} ${CPACK_VARNEL_SOURCE_DATE_EPOCH} ${unpacked}
                        RESULT_VARIABLE rc)
    endif()
    file(REMOVE_RECURSE ${unpacked})
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "cannot write ${zip} again with fixed times")
    endif()
endforeach()
