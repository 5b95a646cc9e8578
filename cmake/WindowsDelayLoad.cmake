# System libraries that the Windows programs import but that are not among Windows' known DLLs.
# The loader resolves such an import by searching the program's own folder first, before any code
# of the program runs, so a DLL of that name left beside the program (a downloads folder) would be
# loaded. Linked through delay-import libraries instead, they are loaded at their first call, when
# WinMain's entry has already restricted the search to the system folder.
#
#   norvia_delay_loaded(<target> <mingw import library> <DLL>)
#
# defines <target> as an imported interface target linking the delay-import library made from
# mingw's import library (same exports) and mingw's delay-load helper. A target named like the
# library ("wininet") takes the place of the plain library wherever the build links that name.

set(_delay_folder ${CMAKE_BINARY_DIR}/delay-load)
file(MAKE_DIRECTORY ${_delay_folder})
find_program(NORVIA_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)

function(norvia_delay_loaded target library dll)
  find_library(_import ${library} NO_CACHE REQUIRED)
  set(_delay ${_delay_folder}/lib${library}_delay.a)
  if(NOT EXISTS ${_delay} OR ${_import} IS_NEWER_THAN ${_delay})
    execute_process(COMMAND ${CMAKE_NM} ${_import} OUTPUT_VARIABLE _symbols RESULT_VARIABLE _status)
    if(NOT _status EQUAL 0)
      message(FATAL_ERROR "${CMAKE_NM} could not read ${_import}")
    endif()
    # Every "__imp_" symbol of the import library is one export of the DLL.
    string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@?$]+" _imports "${_symbols}")
    list(TRANSFORM _imports REPLACE " I __imp_" "")
    list(REMOVE_DUPLICATES _imports)
    list(JOIN _imports "\n" _exports)
    file(WRITE ${_delay_folder}/${library}.def "LIBRARY ${dll}\nEXPORTS\n${_exports}\n")
    execute_process(COMMAND ${NORVIA_DLLTOOL} --input-def ${_delay_folder}/${library}.def --dllname ${dll}
                            --output-delaylib ${_delay}
                    RESULT_VARIABLE _status)
    if(NOT _status EQUAL 0)
      message(FATAL_ERROR "dlltool could not make the delay-import library of ${dll}")
    endif()
  endif()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_LINK_LIBRARIES "${_delay};delayimp")
endfunction()
