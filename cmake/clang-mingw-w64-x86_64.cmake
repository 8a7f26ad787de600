# Cross-compiles for 64-bit Windows with Debian's clang and lld, on the MinGW-w64
# headers, CRT and winpthreads, and the libstdc++ of the posix-thread gcc; the
# results run under Wine like the gcc build's.
# 1. clang cannot find Debian's gcc library folder on its own (its name, "12-posix",
#    is not a bare version), so the libstdc++ headers and the gcc libraries are
#    named here.
# 2. The sysroot is the MinGW-w64 tree, so no header or library of the build
#    machine is ever searched.
# 3. Thread-local variables use emulated TLS, as gcc's do: libstdc++ keeps
#    std::call_once's state in emulated TLS, and native TLS would not link to it.
# 4. lld resolves archives in any order; -lpthread stands in for the winpthreads
#    that the posix gcc's specs add to every link.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARNEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSROOT /usr/${VARNEL_MINGW_PREFIX})

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${VARNEL_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${VARNEL_MINGW_PREFIX})
set(CMAKE_RC_COMPILER ${VARNEL_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VARNEL_MINGW_PREFIX}-ar CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${VARNEL_MINGW_PREFIX}-ranlib CACHE FILEPATH "archive indexer")
set(CMAKE_OBJDUMP ${VARNEL_MINGW_PREFIX}-objdump CACHE FILEPATH "objdump for PE files")
set(CMAKE_OBJCOPY ${VARNEL_MINGW_PREFIX}-objcopy CACHE FILEPATH "objcopy for PE files")

# The newest gcc of the posix thread model supplies libstdc++ and libgcc.
file(GLOB VARNEL_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${VARNEL_MINGW_PREFIX}/*-posix)
list(SORT VARNEL_GCC_DIRS COMPARE NATURAL ORDER DESCENDING)
list(APPEND VARNEL_GCC_DIRS NOTFOUND)
list(GET VARNEL_GCC_DIRS 0 VARNEL_GCC_DIR)
if(NOT EXISTS ${VARNEL_GCC_DIR}/include/c++/${VARNEL_MINGW_PREFIX})
    message(FATAL_ERROR "no posix-thread MinGW-w64 gcc under /usr/lib/gcc/${VARNEL_MINGW_PREFIX}: "
                        "run scripts/setup")
endif()

# C targets are linked by clang, which calls the project's -static-libstdc++ unused.
set(CMAKE_C_FLAGS_INIT "-femulated-tls -Wno-unused-command-line-argument")
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -stdlib++-isystem ${VARNEL_GCC_DIR}/include/c++ \
-stdlib++-isystem ${VARNEL_GCC_DIR}/include/c++/${VARNEL_MINGW_PREFIX} \
-stdlib++-isystem ${VARNEL_GCC_DIR}/include/c++/backward")
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${VARNEL_GCC_DIR} -lpthread")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${VARNEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
