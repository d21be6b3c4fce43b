# Fails when the two programs' libraries define an external symbol of the same name: the linker
# would quietly keep one of the two definitions in anything that links both, as the tests do, and
# the other program's code would go untested. Left aside: the standard library's own symbols,
# which both may instantiate alike, and what the compiler makes for itself (references to those,
# type information of function types, clang's terminate helper).
# Usage: cmake -DNM=nm -DFIRST=liba.a -DSECOND=libb.a -P no_shared_symbols.cmake
cmake_minimum_required(VERSION 3.22)
function(defined_symbols library out)
  execute_process(COMMAND ${NM} -g --defined-only -P ${library} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${NM} could not list ${library}")
  endif()
  # Brackets (as in "lib.a[member.o]:") would hold list elements together.
  string(REPLACE "[" "(" listing "${listing}")
  string(REPLACE "]" ")" listing "${listing}")
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
  set(names "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([^ ]+) [A-Za-z] ")
      continue()
    endif()
    set(name "${CMAKE_MATCH_1}")
    if(NOT name MATCHES "^(DW\\.ref\\.|\\.refptr\\.|_?_ZT[IS]F|_?__clang_call_terminate$)" AND
       NOT name MATCHES "^_?_Z(T[VISH]|GV|Z)?N?K?(St|S[aboisd]|9__gnu_cxx|10__cxxabiv1)")
      list(APPEND names "${name}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

defined_symbols(${FIRST} first)
defined_symbols(${SECOND} second)
list(LENGTH first count)
if(count EQUAL 0)
  message(FATAL_ERROR "no symbols listed in ${FIRST}")
endif()
set(shared "")
foreach(name IN LISTS first)
  if(name IN_LIST second)
    list(APPEND shared "${name}")
  endif()
endforeach()
if(shared)
  list(JOIN shared "\n  " shared)
  message(FATAL_ERROR "both libraries define:\n  ${shared}")
endif()
message(STATUS "${count} symbols of ${FIRST}, none defined in ${SECOND} too")
