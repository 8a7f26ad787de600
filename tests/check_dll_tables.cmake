# Checks that the DLL exports exactly TsPluginEventHandler, undecorated, imports
# nothing but Windows system DLLs, and weighs at most 256 KB as released; and that
# neither the DLL nor the programs that load it have thread_local objects with
# destructors. Those make the C++ runtime create a winpthreads key that a destructor
# deletes at unload or exit, and that deletion can wait for ever when another thread
# ends at the same moment: a launcher hung in FreeLibrary, a test program at exit.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(allowed kernel32.dll user32.dll advapi32.dll version.dll shlwapi.dll comctl32.dll
            msvcrt.dll gdi32.dll api-ms-win-crt- api-ms-win-core-synch-)
foreach(line IN LISTS imports)
    string(REPLACE "DLL Name: " "" name "${line}")
    string(TOLOWER "${name}" lower)
    set(ok FALSE)
    foreach(a IN LISTS allowed)
        string(FIND "${lower}" "${a}" pos)
        if(pos EQUAL 0)
            set(ok TRUE)
        endif()
    endforeach()
    if(NOT ok)
        message(FATAL_ERROR "Varnel.dll imports ${name}, which is not a Windows system DLL")
    endif()
    message(STATUS "import: ${name}")
endforeach()

# The name table: a line "[Ordinal/Name Pointer] Table", then one tab-indented
# line per exported name, up to an empty line.
string(REGEX MATCH "\n\\[Ordinal/Name Pointer\\] Table\n(\t[^\n]*\n)*" table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" exports "${table}")
list(LENGTH exports count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected exactly one export, found ${count}: ${exports}")
endif()
if(NOT exports MATCHES "\\] TsPluginEventHandler$")
    message(FATAL_ERROR "the export is ${exports}, expected TsPluginEventHandler")
endif()
message(STATUS "export: ${exports}")

file(SIZE ${DLL} size)
message(STATUS "size: ${size} bytes")
if(size GREATER 262144)
    message(FATAL_ERROR "Varnel.dll weighs ${size} bytes, more than 256 KB (262144 bytes)")
endif()

foreach(binary IN ITEMS ${DLL_SYMBOLS} ${PROGRAMS})
    execute_process(COMMAND ${NM} ${binary} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "nm failed on ${binary}")
    endif()
    if(symbols MATCHES " T __cxa_thread_atexit\n")
        message(FATAL_ERROR "${binary} has a thread_local object with a destructor")
    endif()
    message(STATUS "no thread_local destructors: ${binary}")
endforeach()
