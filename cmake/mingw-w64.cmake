# Cross build for Windows with Debian's MinGW-w64 (the posix-thread flavour,
# whose C++ runtime has std::thread and std::mutex).
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVELQ_MINGW_ARCH=i686 ...
#
# VELQ_MINGW_ARCH is x86_64 (default) or i686. Everything is linked with the
# static C and C++ runtimes, so a DLL needs only system DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT DEFINED VELQ_MINGW_ARCH)
  set(VELQ_MINGW_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${VELQ_MINGW_ARCH})
set(_triple ${VELQ_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_OBJDUMP ${_triple}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
# VELQ_WINDOWS_DEPS is the prefix where scripts/build-windows-deps installs
# the libraries Debian has no MinGW build of (libpng). It lies outside the
# sysroot, and with the library and include modes below set to ONLY a plain
# prefix path would be searched re-rooted under the sysroot and never seen;
# as a root of its own it is searched like the sysroot.
if(VELQ_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH "${VELQ_WINDOWS_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The sysroot holds both zlib's static libz.a and its DLL import library
# libz.dll.a, which a plain find_package(ZLIB) (and FindPNG through it)
# would pick, making the programs need zlib1.dll; prefer the static one.
set(ZLIB_USE_STATIC_LIBS ON)

# Vista and later: CancelIoEx, GetTickCount64.
add_compile_definitions(_WIN32_WINNT=0x0600 WINVER=0x0600)
# The C99 printf family (MinGW's own), not msvcrt's, whose printf knows
# neither %zu nor %Lg: the shared code formats with both.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
