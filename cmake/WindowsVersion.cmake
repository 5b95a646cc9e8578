# Run as a script at every build of the Windows program (cmake -P): writes ProgramVersion.h for its
# version resource, "9.5.N.0" with N the number of commits of the checked-out tree. The file is
# rewritten only when N changes, so that a build without a new commit relinks nothing.
#   cmake -DSOURCE_DIR=<tree> -DOUTPUT=<file> -P WindowsVersion.cmake
execute_process(COMMAND git -C ${SOURCE_DIR} rev-list --count HEAD
  OUTPUT_VARIABLE _count OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _status ERROR_QUIET)
if(NOT _status EQUAL 0 OR NOT _count MATCHES "^[0-9]+$")
  # A tree without its history (an exported archive) still builds, as version 9.5.0.0.
  message(WARNING "No git history in ${SOURCE_DIR}: the program's version is 9.5.0.0")
  set(_count 0)
endif()
set(_text "#define NORVIA_VERSION_NUMBERS 9,5,${_count},0\n#define NORVIA_VERSION_TEXT \"9.5.${_count}.0\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} _old)
endif()
if(NOT _old STREQUAL _text)
  file(WRITE ${OUTPUT} "${_text}")
endif()
