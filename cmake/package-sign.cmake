# CPack runs this after staging the packages' files and before zipping them: the
# staged copy of Varnel.dll is signed by scripts/sign, which only says so and leaves
# it unsigned when no certificate is given. The DLL in the build tree stays as built.
file(GLOB_RECURSE staged_dlls ${CPACK_TEMPORARY_DIRECTORY}/*Varnel.dll)
if(NOT staged_dlls)
    message(FATAL_ERROR "no Varnel.dll staged under ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(dll IN LISTS staged_dlls)
    execute_process(COMMAND ${CPACK_VARNEL_SOURCE_DIR}/scripts/sign ${dll} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "scripts/sign failed on ${dll}")
    endif()
endforeach()
