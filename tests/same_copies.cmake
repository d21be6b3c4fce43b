# The two programs share no code, so the few units both need are copies: each pair must stay the
# same text but for the namespace the lines that open and close it name.
# Usage: cmake -DSOURCE_DIR=<project> -P same_copies.cmake
foreach(file file_names.h file_names.cpp decimal_conversion.h decimal_conversion.cpp)
  file(READ "${SOURCE_DIR}/quenvar/${file}" quenvar_text)
  file(READ "${SOURCE_DIR}/barwright/${file}" barwright_text)
  string(REGEX REPLACE "namespace quenvar(::detail)?( {|\n)" "namespace PROGRAM\\1\\2" quenvar_text "${quenvar_text}")
  string(REGEX REPLACE "namespace barwright(::detail)?( {|\n)" "namespace PROGRAM\\1\\2" barwright_text "${barwright_text}")
  if(NOT quenvar_text STREQUAL barwright_text)
    message(SEND_ERROR "quenvar/${file} and barwright/${file} differ beyond their namespaces")
  endif()
endforeach()
