# Cross-building for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix: the
# posix thread model, which std::thread and std::mutex need). Libraries are linked statically,
# so the executables need no DLL beside them.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triplet x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER ${_triplet}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER ${_triplet}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER ${_triplet}-windres)

# Headers and libraries come from the mingw sysroot only (zlib: libz-mingw-w64-dev); programs
# (the build's own tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static libraries only: ".a" alone would still let FindZLIB take libz.dll.a, zlib's import
# library, and the programs would then need zlib1.dll.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
