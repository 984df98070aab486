# Turns one UTF-8 text with LF line ends into code page 932 with CR line ends.
#   cmake -DICONV=<iconv> -DTR=<tr> -DINPUT=<utf-8 file> -DOUTPUT=<file> -P convert_text.cmake
# Fails, leaving no output, when the text cannot be represented or is not
# shaped as hosts expect.

file(READ "${INPUT}" source_hex HEX)
string(REGEX MATCHALL ".." source_bytes "${source_hex}")
list(FIND source_bytes "0d" cr_at)
if(NOT cr_at EQUAL -1)
  message(FATAL_ERROR "${INPUT}: CR byte at ${cr_at}; write the source with LF line ends")
endif()
list(FIND source_bytes "00" zero_at)
if(NOT zero_at EQUAL -1)
  message(FATAL_ERROR "${INPUT}: zero byte at ${zero_at}")
endif()
list(GET source_bytes -1 last_byte)
if(NOT last_byte STREQUAL "0a")
  message(FATAL_ERROR "${INPUT}: the last line must end with a line feed")
endif()

set(encoded "${OUTPUT}.cp932")
execute_process(
  COMMAND "${ICONV}" -f UTF-8 -t CP932 "${INPUT}"
  OUTPUT_FILE "${encoded}"
  ERROR_VARIABLE iconv_error
  RESULT_VARIABLE iconv_result)
if(NOT iconv_result EQUAL 0)
  file(REMOVE "${encoded}" "${OUTPUT}")
  message(FATAL_ERROR "${INPUT}: not convertible to code page 932: ${iconv_error}")
endif()

# Some characters convert one way only (they come back as a look-alike).
execute_process(
  COMMAND "${ICONV}" -f CP932 -t UTF-8 "${encoded}"
  OUTPUT_FILE "${OUTPUT}.back"
  RESULT_VARIABLE back_result)
file(READ "${OUTPUT}.back" back_hex HEX)
file(REMOVE "${OUTPUT}.back")
if(NOT back_result EQUAL 0 OR NOT back_hex STREQUAL source_hex)
  file(REMOVE "${encoded}" "${OUTPUT}")
  message(FATAL_ERROR "${INPUT}: a character does not survive code page 932 unchanged")
endif()

set(staged "${OUTPUT}.tmp")
execute_process(
  COMMAND "${TR}" "\\n" "\\r"
  INPUT_FILE "${encoded}"
  OUTPUT_FILE "${staged}"
  RESULT_VARIABLE tr_result)
file(REMOVE "${encoded}")
if(NOT tr_result EQUAL 0)
  file(REMOVE "${staged}" "${OUTPUT}")
  message(FATAL_ERROR "${INPUT}: line end conversion failed")
endif()

file(RENAME "${staged}" "${OUTPUT}")
