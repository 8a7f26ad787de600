# Builds the release package with CPack, unpacks it, checks its contents and loads
# the packaged DLL through the development host.
set(zip ${BUILD}/${PACKAGE}.zip)
file(REMOVE ${zip})
execute_process(COMMAND ${CPACK} -G ZIP -C Release WORKING_DIRECTORY ${BUILD}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT EXISTS ${zip})
    message(FATAL_ERROR "cpack failed (${rc}): ${out}")
endif()

set(dir ${BUILD}/package-check)
file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot unpack ${zip}")
endif()
foreach(f Varnel.dll README.md LICENSE)
    if(NOT EXISTS ${dir}/${f})
        message(FATAL_ERROR "${f} missing from the package")
    endif()
endforeach()

execute_process(COMMAND ${EMULATOR} ${CHECKER} ${dir}/Varnel.dll RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "${out}${err}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the packaged DLL did not load and answer as expected")
endif()
