# The Windows programs import only kernel32 and msvcrt at load time; every other system DLL is
# delay-loaded: loaded at its first call, when WinMain's entry has already restricted the DLL
# search to the system folder (Source/App/Windows/WinMain.cpp). A DLL resolved at load time is
# looked for in the program's own folder first unless it is a known DLL, and so are the imports of
# the DLLs loaded with it (wine's user32 imports version.dll, for one); a DLL of that name left
# beside the program (a downloads folder) would be loaded before any code of the program runs.
#
#   norvia_delay_loaded(<target> <mingw import library> <DLL>)
#
# defines <target> as an imported interface target linking the delay-import library made from
# mingw's import library (same exports) and mingw's delay-load helper. A target named like the
# library ("wininet") takes the place of the plain library wherever the build links that name;
# the libraries CMake adds to every link (CMAKE_<LANG>_STANDARD_LIBRARIES) are replaced below.

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

set(_delay_loaded)
foreach(_pair user32=USER32.dll gdi32=GDI32.dll shell32=SHELL32.dll ole32=ole32.dll advapi32=ADVAPI32.dll
              crypt32=CRYPT32.dll wininet=WININET.dll)
  string(REPLACE "=" ";" _pair ${_pair})
  list(GET _pair 0 _library)
  list(GET _pair 1 _dll)
  norvia_delay_loaded(${_library} ${_library} ${_dll})
  list(APPEND _delay_loaded ${_delay_folder}/lib${_library}_delay.a)
endforeach()
# CMake's default for mingw names kernel32, user32, gdi32, winspool, shell32, ole32, oleaut32, uuid,
# comdlg32 and advapi32 for every link; the program needs no more than these.
list(JOIN _delay_loaded " " _delay_loaded)
foreach(_language C CXX)
  set(CMAKE_${_language}_STANDARD_LIBRARIES "-lkernel32 -luuid ${_delay_loaded} -ldelayimp")
endforeach()
