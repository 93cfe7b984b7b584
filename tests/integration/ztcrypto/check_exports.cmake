# Compiles the public header alone as strict C, compares the defined dynamic symbols of the
# library with the names of its version script, and checks that the header declares each.
get_filename_component(header_dir ${HEADER} DIRECTORY)
execute_process(
  COMMAND ${CC} -std=c99 -pedantic-errors -Wall -Wextra -Werror -fsyntax-only -x c -include ztcrypto.h -I${header_dir} /dev/null
  RESULT_VARIABLE rc ERROR_VARIABLE cc_err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ztcrypto.h does not compile as C:\n${cc_err}")
endif()
execute_process(COMMAND nm -D --defined-only ${LIB} OUTPUT_VARIABLE nm_out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm -D failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${nm_out}")
set(exported)
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-f]* *[A-Za-z] +" "" name "${line}")
  string(REGEX REPLACE "@.*$" "" name "${name}")
  if(NOT name STREQUAL "ZTCRYPTO_1")  # the version node itself
    list(APPEND exported ${name})
  endif()
endforeach()

file(READ ${MAP} map)
string(REGEX REPLACE "/\\*[^*]*\\*/" "" map "${map}")
string(REGEX MATCH "global:([^}]*)local:" _ "${map}")
string(REGEX MATCHALL "[A-Za-z0-9_]+" listed "${CMAKE_MATCH_1}")

list(SORT exported)
list(SORT listed)
if(NOT exported STREQUAL listed)
  message(FATAL_ERROR "exports differ from the version script:\n  exported: ${exported}\n  listed:   ${listed}")
endif()

file(READ ${HEADER} header)
foreach(name ${listed})
  if(NOT header MATCHES "int ${name}\\(")
    message(FATAL_ERROR "${name} is exported but not declared in the header")
  endif()
endforeach()
list(LENGTH listed n)
message(STATUS "${n} exports, all declared")
