# Static libpng and zlib for the Windows build, as imported targets
# velq::png and velq::zlib. Include it in the WIN32 branch of the top-level
# CMakeLists.txt and link velq::png; it brings velq::zlib after itself, the
# order a static link needs (libpng calls zlib, not the other way round).
#
# libpng comes from VELQ_WINDOWS_DEPS, the prefix scripts/build-windows-deps
# installs into (scripts/build-windows passes <build>/deps/install); zlib is
# Debian's libz-mingw-w64-dev in the MinGW sysroot. Only static archives are
# accepted: the programs must import nothing but Windows' own DLLs, and the
# sysroot also holds zlib's DLL import library (libz.dll.a), which a plain
# search would prefer.
#
# find_package(PNG) and find_package(ZLIB) run here too, on the same files,
# so PNG::PNG and ZLIB::ZLIB name the static libraries as well.

set(VELQ_WINDOWS_DEPS "${VELQ_WINDOWS_DEPS}" CACHE PATH
    "Prefix holding libpng built by scripts/build-windows-deps")
if(NOT VELQ_WINDOWS_DEPS)
  set(VELQ_WINDOWS_DEPS "${CMAKE_BINARY_DIR}/deps/install" CACHE PATH
      "Prefix holding libpng built by scripts/build-windows-deps" FORCE)
endif()
if(NOT EXISTS "${VELQ_WINDOWS_DEPS}/include/png.h")
  message(FATAL_ERROR "No libpng in VELQ_WINDOWS_DEPS=${VELQ_WINDOWS_DEPS}: "
          "run scripts/build-windows-deps ${CMAKE_SYSTEM_PROCESSOR} ${VELQ_WINDOWS_DEPS} "
          "(scripts/build-windows does)")
endif()

# A library found by an earlier search (a plain find_package(ZLIB) prefers
# the import library) would stay in the cache: search again.
foreach(_velq_var IN ITEMS ZLIB_LIBRARY_RELEASE PNG_LIBRARY_RELEASE)
  if(${_velq_var} AND NOT ${_velq_var} MATCHES "/lib(z|png16)\\.a$")
    unset(${_velq_var} CACHE)
  endif()
endforeach()
unset(_velq_var)

# Searched by exact file name in the two known places, outside the find root
# (the toolchain re-roots other paths under the sysroot), so neither the
# DLL import library nor a stray copy elsewhere can be picked up.
find_path(ZLIB_INCLUDE_DIR zlib.h
          PATHS /usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32/include
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_library(ZLIB_LIBRARY_RELEASE NAMES libz.a
             PATHS /usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32/lib
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(PNG_PNG_INCLUDE_DIR png.h
          PATHS "${VELQ_WINDOWS_DEPS}/include"
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_library(PNG_LIBRARY_RELEASE NAMES libpng16.a
             PATHS "${VELQ_WINDOWS_DEPS}/lib"
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)

foreach(_velq_lib IN ITEMS "${ZLIB_LIBRARY_RELEASE}" "${PNG_LIBRARY_RELEASE}")
  if(NOT _velq_lib MATCHES "\\.a$" OR _velq_lib MATCHES "\\.dll\\.a$")
    message(FATAL_ERROR "${_velq_lib} is not a static library; "
            "the Windows programs must link libpng and zlib statically")
  endif()
endforeach()
unset(_velq_lib)

if(NOT TARGET velq::zlib)
  add_library(velq::zlib STATIC IMPORTED)
  set_target_properties(velq::zlib PROPERTIES
    IMPORTED_LOCATION "${ZLIB_LIBRARY_RELEASE}"
    INTERFACE_INCLUDE_DIRECTORIES "${ZLIB_INCLUDE_DIR}")
endif()
if(NOT TARGET velq::png)
  add_library(velq::png STATIC IMPORTED)
  set_target_properties(velq::png PROPERTIES
    IMPORTED_LOCATION "${PNG_LIBRARY_RELEASE}"
    INTERFACE_INCLUDE_DIRECTORIES "${PNG_PNG_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES velq::zlib)
endif()
message(STATUS "Windows libpng: ${PNG_LIBRARY_RELEASE} (${PNG_VERSION_STRING}), zlib: ${ZLIB_LIBRARY_RELEASE}")
