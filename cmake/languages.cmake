# The resources' languages, read from res/languages.h, where alone they are listed:
# ${VARNEL_GENERATED}/languages.rc sets each language's LANGUAGE from its LANGID and
# includes its file of res/lang/.
set(VARNEL_LANGUAGES_HEADER ${CMAKE_SOURCE_DIR}/res/languages.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VARNEL_LANGUAGES_HEADER})
file(STRINGS ${VARNEL_LANGUAGES_HEADER} entries REGEX "^ *{0x[0-9A-Fa-f]+, \"[A-Za-z-]+\", ")
set(count 0)
string(CONCAT languages_rc "// Made by CMake (cmake/languages.cmake) from res/languages.h: one file of\n"
                           "// res/lang/ for each language, under that language's LANGUAGE.\n")
foreach(entry IN LISTS entries)
    string(REGEX MATCH "0x([0-9A-Fa-f]+), \"([A-Za-z-]+)\"" _ "${entry}")
    set(tag ${CMAKE_MATCH_2})
    # A LANGID is the primary language in its low 10 bits, the sublanguage above them.
    math(EXPR primary "0x${CMAKE_MATCH_1} & 0x3FF" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR sublanguage "0x${CMAKE_MATCH_1} >> 10" OUTPUT_FORMAT HEXADECIMAL)
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/res/lang/${tag}.rc)
        message(FATAL_ERROR "res/languages.h lists '${tag}', but there is no res/lang/${tag}.rc")
    endif()
    string(APPEND languages_rc "\nLANGUAGE ${primary}, ${sublanguage}\n#include \"lang/${tag}.rc\"\n")
    math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
    message(FATAL_ERROR "no languages read from ${VARNEL_LANGUAGES_HEADER}")
endif()
# Written only when it changes, so that a configure does not rebuild the resources.
file(CONFIGURE OUTPUT ${VARNEL_GENERATED}/languages.rc CONTENT "${languages_rc}" @ONLY)
