# The font embedder and the logo painter run during the build. In a cross build they must run on
# the build machine, so they are built for it as a separate project with its own compiler, and
# appear here as imported executables under their usual target names.

include(ExternalProject)
set(_host_tools ${CMAKE_BINARY_DIR}/host-tools)
ExternalProject_Add(norvia_host_tools
  SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/host-tools
  BINARY_DIR ${_host_tools}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DNORVIA_TOOLS_DIR=${CMAKE_SOURCE_DIR}/tools
  INSTALL_COMMAND ""
  BUILD_ALWAYS TRUE
  BUILD_BYPRODUCTS ${_host_tools}/norvia_embed ${_host_tools}/norvia_logo)
foreach(_tool norvia_embed norvia_logo)
  add_executable(${_tool} IMPORTED GLOBAL)
  set_target_properties(${_tool} PROPERTIES IMPORTED_LOCATION ${_host_tools}/${_tool})
  # Followed in the imported target's place by everything that depends on it.
  add_dependencies(${_tool} norvia_host_tools)
endforeach()
