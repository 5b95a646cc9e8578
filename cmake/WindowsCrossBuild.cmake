# The Linux build drives the Windows build: this same source tree, configured with the mingw-w64
# toolchain into <build>/windows and built as a step of this build, so that one
# `cmake --build build` makes both. The Windows tests are registered in this build's CTest
# (tests/Windows) and run under wine. Sanitizer builds leave it out: the sanitizers do not apply
# to the mingw build.
option(NORVIA_BUILD_WINDOWS "Also cross-build the Windows engine (mingw-w64) and test it under wine" ON)

set(NORVIA_WINDOWS_BINARY_DIR ${CMAKE_BINARY_DIR}/windows)
# The Windows tests' wine world: the prefix that trusts the test CA, the PKI and the hosts file
# (made by the CTest fixture "wine", see tests/Windows).
set(NORVIA_WINE_FOLDER ${CMAKE_BINARY_DIR}/wine)
set(NORVIA_WINE_PREFIX ${NORVIA_WINE_FOLDER}/prefix)
find_program(NORVIA_MINGW_CXX x86_64-w64-mingw32-g++-posix)

if(NORVIA_BUILD_WINDOWS AND NORVIA_MINGW_CXX)
  include(ExternalProject)
  ExternalProject_Add(norvia_windows
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${NORVIA_WINDOWS_BINARY_DIR}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchains/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DNORVIA_BUILD_TESTS=${NORVIA_BUILD_TESTS}
      -DNORVIA_BUILD_BENCH=${NORVIA_BUILD_BENCH}
    # The sources are this tree: the step always runs and the inner build decides what is stale.
    BUILD_ALWAYS TRUE
    INSTALL_COMMAND ""
    STEP_TARGETS configure build)
elseif(NORVIA_BUILD_WINDOWS)
  message(WARNING "x86_64-w64-mingw32-g++-posix not found: the Windows build is left out and the "
                  "Windows. tests will fail. Run scripts/install-deps.sh.")
endif()
