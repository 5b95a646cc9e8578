# The window and UI libraries of the Windows program, built with the mingw toolchain as static
# libraries: GLFW and Dear ImGui from Debian's source packages of the installed versions, stb from
# the libstb-dev headers, OpenGL from mingw's opengl32 (delay-loaded). Defines the targets the App
# folder links on both systems: glfw, OpenGL::GL, norvia_imgui and norvia_stb.

include(${CMAKE_CURRENT_LIST_DIR}/DebianSourcePackage.cmake)
debian_source_packages(${CMAKE_BINARY_DIR}/debian-sources
  NORVIA_GLFW_SOURCE libglfw3-dev
  NORVIA_IMGUI_SOURCE libimgui-dev)

# GLFW with its own build (the Win32 back-end); nothing of its examples, tests, docs or install.
set(BUILD_SHARED_LIBS OFF)
set(GLFW_BUILD_EXAMPLES OFF CACHE BOOL "" FORCE)
set(GLFW_BUILD_TESTS OFF CACHE BOOL "" FORCE)
set(GLFW_BUILD_DOCS OFF CACHE BOOL "" FORCE)
set(GLFW_INSTALL OFF CACHE BOOL "" FORCE)
add_subdirectory(${NORVIA_GLFW_SOURCE} ${CMAKE_BINARY_DIR}/third-party/glfw EXCLUDE_FROM_ALL)
# Third-party code is not held to the project's warnings.
target_compile_options(glfw PRIVATE -w)

# OpenGL::GL as the Linux build's FindOpenGL names it, delay-loaded (cmake/WindowsDelayLoad.cmake).
norvia_delay_loaded(OpenGL::GL opengl32 OPENGL32.dll)

# stb: only the headers are packaged, so the implementations are compiled here, once, as Debian's
# libstb does (rect-pack before truetype, which otherwise brings its own). The headers are copied into the build folder: adding /usr/include to a cross build
# would let Linux system headers in.
set(_stb_include ${CMAKE_BINARY_DIR}/third-party/stb-include)
foreach(_header stb_image.h stb_truetype.h stb_rect_pack.h)
  if(NOT EXISTS /usr/include/stb/${_header})
    message(FATAL_ERROR "/usr/include/stb/${_header} not found: run scripts/install-deps.sh (libstb-dev)")
  endif()
  configure_file(/usr/include/stb/${_header} ${_stb_include}/stb/${_header} COPYONLY)
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/third-party/stb_implementation.c
  "#define STB_IMAGE_IMPLEMENTATION\n#include <stb_image.h>\n"
  "#define STB_RECT_PACK_IMPLEMENTATION\n#include <stb_rect_pack.h>\n"
  "#define STB_TRUETYPE_IMPLEMENTATION\n#include <stb_truetype.h>\n")
add_library(norvia_stb STATIC ${CMAKE_BINARY_DIR}/third-party/stb_implementation.c)
# Included as <stb_image.h> (pkg-config's include folder on Linux) and as <stb/...> by Dear ImGui.
target_include_directories(norvia_stb SYSTEM PUBLIC ${_stb_include}/stb ${_stb_include})
target_compile_options(norvia_stb PRIVATE -w)

# Dear ImGui the way Debian's package builds it: the core files, with stb's truetype and rect-pack
# taken from stb instead of the copies inside Dear ImGui.
add_library(norvia_imgui STATIC
  ${NORVIA_IMGUI_SOURCE}/imgui.cpp ${NORVIA_IMGUI_SOURCE}/imgui_draw.cpp
  ${NORVIA_IMGUI_SOURCE}/imgui_tables.cpp ${NORVIA_IMGUI_SOURCE}/imgui_widgets.cpp)
target_include_directories(norvia_imgui SYSTEM PUBLIC ${NORVIA_IMGUI_SOURCE})
target_compile_definitions(norvia_imgui PRIVATE
  IMGUI_DISABLE_STB_RECT_PACK_IMPLEMENTATION "IMGUI_STB_RECT_PACK_FILENAME=<stb/stb_rect_pack.h>"
  IMGUI_DISABLE_STB_TRUETYPE_IMPLEMENTATION "IMGUI_STB_TRUETYPE_FILENAME=<stb/stb_truetype.h>")
target_link_libraries(norvia_imgui PUBLIC norvia_stb)
target_compile_options(norvia_imgui PRIVATE -w)
