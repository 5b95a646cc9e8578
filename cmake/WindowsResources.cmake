# The Windows program's resources (Source/App/Windows/NorviaDownloadManager.rc), compiled by mingw's
# windres into an object linked with the program. The icon and the version header are made at
# build time; nothing binary is committed.
function(norvia_windows_resources target)
  set(_source ${CMAKE_SOURCE_DIR}/Source/App/Windows)
  set(_generated ${CMAKE_CURRENT_BINARY_DIR}/resources)
  file(MAKE_DIRECTORY ${_generated})

  add_custom_command(OUTPUT ${_generated}/NorviaDownloadManager.ico
    COMMAND norvia_logo --icon ${_generated}/NorviaDownloadManager.ico
    DEPENDS norvia_logo
    COMMENT "Drawing the program's icon" VERBATIM)
  # Always run: the commit count is not a file the build could depend on. The script leaves the
  # header untouched while the count is the same.
  add_custom_target(${target}_version
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${_generated}/ProgramVersion.h
            -P ${CMAKE_SOURCE_DIR}/cmake/WindowsVersion.cmake
    BYPRODUCTS ${_generated}/ProgramVersion.h
    COMMENT "Counting the commits for the version resource" VERBATIM)

  set(_object ${_generated}/NorviaDownloadManager.res.obj)
  add_custom_command(OUTPUT ${_object}
    COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${_generated} -I ${_source}
            -i ${_source}/NorviaDownloadManager.rc -o ${_object}
    DEPENDS ${_source}/NorviaDownloadManager.rc ${_source}/NorviaDownloadManager.manifest
            ${_generated}/NorviaDownloadManager.ico ${_generated}/ProgramVersion.h
    COMMENT "Compiling the program's resources" VERBATIM)
  set_source_files_properties(${_object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(${target} PRIVATE ${_object})
  add_dependencies(${target} ${target}_version)
endfunction()
