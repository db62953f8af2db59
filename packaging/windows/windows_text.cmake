# Turns a text kept as UTF-8 with LF line ends into what a Windows user opens
# with Notepad: CR LF line ends, in code page 932 or plain ASCII. @VERSION@
# becomes the project's version. iconv (libc-bin) does the encoding and fails
# on a character the target has no form for, so no text ships half-converted.
#
#   cmake -DSOURCE=in.txt [-DAPPEND=more.txt] -DTARGET=out.txt
#         -DENCODING=CP932|ASCII -DVERSION=x.y.z -P windows_text.cmake
foreach(var SOURCE TARGET ENCODING VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "windows_text.cmake needs -D${var}=...")
  endif()
endforeach()
find_program(ICONV iconv REQUIRED)

file(READ "${SOURCE}" text)
if(DEFINED APPEND)
  file(READ "${APPEND}" more)
  string(APPEND text "\n${more}")
endif()
string(CONFIGURE "${text}" text @ONLY)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${TARGET}.utf8" "${text}")
execute_process(COMMAND ${ICONV} -f UTF-8 -t ${ENCODING} "${TARGET}.utf8"
                OUTPUT_FILE "${TARGET}.new" RESULT_VARIABLE status ERROR_VARIABLE error)
file(REMOVE "${TARGET}.utf8")
if(NOT status EQUAL 0)
  file(REMOVE "${TARGET}.new")
  message(FATAL_ERROR "${SOURCE}: no ${ENCODING} form: ${error}")
endif()
file(RENAME "${TARGET}.new" "${TARGET}")
