# Sources of libraries that Debian packages for Linux only, taken from Debian's own source packages
# of exactly the versions installed here, so the Windows program is built from the code the Linux
# program links. The fetch (scripts/debian-source.sh) runs at configure time, once per build folder.
#
#   debian_source_packages(<workdir> <variable> <installed binary package> ...)
#
# For each pair, <variable> is set to the folder holding the unpacked source of the binary
# package's source package at its installed version. All packages share one apt update.

set(_debian_source_script ${CMAKE_CURRENT_LIST_DIR}/../scripts/debian-source.sh)

function(debian_source_packages workdir)
  set(_pairs ${ARGN})
  list(LENGTH _pairs _count)
  math(EXPR _odd "${_count} % 2")
  if(_count EQUAL 0 OR _odd)
    message(FATAL_ERROR "debian_source_packages: expected pairs of variable and package")
  endif()

  set(_specs)
  set(_results)
  while(_pairs)
    list(POP_FRONT _pairs _variable _binary)
    # The source package and version behind the installed binary package (binNMU suffixes such
    # as +b1 belong to the binary only).
    execute_process(
      COMMAND dpkg-query -W -f=\${source:Package}=\${source:Version} ${_binary}
      OUTPUT_VARIABLE _spec RESULT_VARIABLE _status ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT _status EQUAL 0 OR NOT _spec MATCHES "^[^=]+=.+$")
      message(FATAL_ERROR "${_binary} is not installed: run scripts/install-deps.sh")
    endif()
    string(REPLACE "=" "-" _folder ${_spec})
    list(APPEND _specs ${_spec})
    list(APPEND _results ${_variable} ${workdir}/${_folder})
  endwhile()

  execute_process(COMMAND bash ${_debian_source_script} ${workdir} ${_specs} RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "Fetching the Debian sources of ${_specs} failed (messages above)")
  endif()
  while(_results)
    list(POP_FRONT _results _variable _folder)
    set(${_variable} ${_folder} PARENT_SCOPE)
  endwhile()
endfunction()
