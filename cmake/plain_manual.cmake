# Renders a manual page as plain UTF-8 text for Windows, which has no man: no overstrike and no
# escape sequences, CRLF line ends, and a byte order mark so that every Notepad reads it as UTF-8.
# Usage: cmake -DGROFF=groff -DPAGE=page.1 -DOUT=page-manual.txt -P plain_manual.cmake
execute_process(COMMAND ${GROFF} -man -Tutf8 -P-cbou ${PAGE}
  OUTPUT_VARIABLE text ERROR_VARIABLE warnings RESULT_VARIABLE failed)
if(failed OR warnings)
  message(FATAL_ERROR "groff could not render ${PAGE}: ${warnings}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
string(ASCII 239 187 191 bom)
file(WRITE ${OUT} "${bom}${text}")
