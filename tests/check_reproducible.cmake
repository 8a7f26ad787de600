# Two clean builds of the same sources, from two copies in folders of different
# names: Varnel.dll, its debug file and both zips must be the same byte for byte, and
# the DLL must be dated by the last commit, not by the build clock.
set(work ${BUILD}/reproducible)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
unset(ENV{SOURCE_DATE_EPOCH})
unset(ENV{VARNEL_SIGN_CERT})
unset(ENV{VARNEL_SIGN_KEY})

# The sources as they are in the working tree (tracked and new files, not ignored ones).
execute_process(COMMAND git ls-files --cached --others --exclude-standard
                WORKING_DIRECTORY ${SOURCE} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "git ls-files failed in ${SOURCE}")
endif()
string(REPLACE "\n" ";" listing "${listing}")
set(files "")
foreach(f IN LISTS listing)
    if(f AND EXISTS ${SOURCE}/${f})
        string(APPEND files "${f}\n")
    endif()
endforeach()
file(WRITE ${work}/files.txt "${files}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${work}/sources.tar --files-from=${work}/files.txt
                WORKING_DIRECTORY ${SOURCE} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot copy the sources")
endif()

set(outputs bin/Varnel.dll symbols/Varnel.dll.debug ${PACKAGE}.zip ${PACKAGE}-symbols.zip)
foreach(copy a second-copy-in-a-longer-folder)
    set(src ${work}/${copy}/source)
    set(bin ${work}/${copy}/build)
    file(MAKE_DIRECTORY ${src})
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${work}/sources.tar WORKING_DIRECTORY ${src})
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${src} -B ${bin} -G ${GENERATOR}
                            -DCMAKE_TOOLCHAIN_FILE=${src}/cmake/mingw-w64-x86_64.cmake
                            -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(rc EQUAL 0)
        execute_process(COMMAND ${CMAKE_COMMAND} --build ${bin} --target Varnel -j 2
                        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    endif()
    if(rc EQUAL 0)
        execute_process(COMMAND ${CPACK} -G ZIP -C Release WORKING_DIRECTORY ${bin}
                        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    endif()
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "the build in ${bin} failed:\n${out}")
    endif()
    foreach(output IN LISTS outputs)
        if(NOT EXISTS ${bin}/${output})
            message(FATAL_ERROR "the build in ${bin} made no ${output}")
        endif()
        file(SHA256 ${bin}/${output} hash)
        message(STATUS "${copy}: ${output} ${hash}")
        list(APPEND hashes_${copy} ${hash})
    endforeach()
endforeach()

set(faults "")
foreach(output IN LISTS outputs)
    execute_process(COMMAND cmp ${work}/a/build/${output}
                            ${work}/second-copy-in-a-longer-folder/build/${output}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        string(APPEND faults "${output} differs between the builds: ${out}")
    endif()
endforeach()

# The PE header's TimeDateStamp: 4 bytes at the NT headers (offset e_lfanew) plus 8.
function(read_le32 file offset var)
    file(READ ${file} bytes OFFSET ${offset} LIMIT 4 HEX)
    string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" bytes "${bytes}")
    math(EXPR value "0x${bytes}")
    set(${var} ${value} PARENT_SCOPE)
endfunction()
set(dll ${work}/a/build/bin/Varnel.dll)
read_le32(${dll} 60 nt_headers)
math(EXPR stamp_offset "${nt_headers} + 8")
read_le32(${dll} ${stamp_offset} stamp)
execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${SOURCE}
                OUTPUT_VARIABLE commit_date OUTPUT_STRIP_TRAILING_WHITESPACE)
message(STATUS "PE timestamp ${stamp}, last commit ${commit_date}")
if(NOT stamp EQUAL commit_date)
    string(APPEND faults "the DLL is dated ${stamp}, the last commit ${commit_date}\n")
endif()

if(faults)
    message(FATAL_ERROR "${faults}(both builds are kept in ${work})")
endif()
file(REMOVE_RECURSE ${work})
