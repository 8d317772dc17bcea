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
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Vista and later: CancelIoEx, GetTickCount64.
add_compile_definitions(_WIN32_WINNT=0x0600 WINVER=0x0600)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
