# What the Windows build takes from Debian besides mingw-w64 itself: zlib from
# libz-mingw-w64-dev (found through the toolchain's sysroot), the header-only nlohmann-json of
# nlohmann-json3-dev and, for the tests, GoogleTest built from the sources of the googletest
# package. Nothing of them is copied into the source tree.

# The host's /usr/include must not be searched by the cross compiler, so the JSON headers get an
# include folder of their own in the build tree.
set(NORVIA_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann-json headers (nlohmann-json3-dev)")
if(NOT EXISTS ${NORVIA_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann/json.hpp not found in ${NORVIA_JSON_HEADERS}: run scripts/install-deps.sh")
endif()
set(_json_include ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_json_include})
file(CREATE_LINK ${NORVIA_JSON_HEADERS} ${_json_include}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_json_include})

# Wide Win32 calls throughout; C99 printf formats from the mingw run-time (%zu, %llu, rounding
# of %.2f as on Linux); Windows 7 and later.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
                        __USE_MINGW_ANSI_STDIO=1)
# The exception translator (Source/Platform/Windows/ExceptionTranslator.cpp) throws from faulting
# instructions; their frames can be unwound only where the exception tables cover them.
add_compile_options(-fnon-call-exceptions)

if(NORVIA_BUILD_TESTS)
  set(NORVIA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
  if(NOT EXISTS ${NORVIA_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${NORVIA_GOOGLETEST_SOURCE}: run scripts/install-deps.sh")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Its own CMake files name the targets GTest::gtest and GTest::gtest_main, as the Linux build's.
  add_subdirectory(${NORVIA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
