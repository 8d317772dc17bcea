# Install rules for every deliverable, in four components that become the
# four Debian packages (cpack -G DEB in the build folder, or
# scripts/build-packages):
#   dashboard  skinvelq          the dashboard, its tools and the demo skins
#   hostlib    libvelqhost1      the host library (soname libvelqhost.so.1)
#   hostdev    libvelqhost-dev   its header, pkg-config file and CMake package
#   serialjni  libserialkvl-jni  serialKVL's JNI library, the host jar and its pom
# Skins go to share/skinvelq/Skin: run SkinVELQ in share/skinvelq (its
# work folder is the one that holds Skin/).
include(CMakePackageConfigHelpers)

set(VELQ_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/skinvelq)
# Debian keeps JNI libraries in the multiarch jni folder, jars in share/java.
set(VELQ_JNI_DIR ${CMAKE_INSTALL_LIBDIR}/jni)
set(VELQ_JAR_DIR ${CMAKE_INSTALL_DATADIR}/java)
set(VELQ_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VelqHost)

# ---- skinvelq ----
set(VELQ_PROGRAMS SkinVELQ skinhost skinrender skinconv)
if(TARGET kvlports)
  list(APPEND VELQ_PROGRAMS kvlports)
endif()
install(TARGETS ${VELQ_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT dashboard)
install(DIRECTORY ${CMAKE_BINARY_DIR}/Skin/ DESTINATION ${VELQ_SHARE_DIR}/Skin COMPONENT dashboard)

# ---- libvelqhost1 and libvelqhost-dev ----
install(TARGETS velqhost EXPORT VelqHostTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT hostlib NAMELINK_COMPONENT hostdev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/host/include/velq/host.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velq
  COMPONENT hostdev)
configure_file(${CMAKE_SOURCE_DIR}/host/velqhost.pc.in ${CMAKE_BINARY_DIR}/host/velqhost.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/host/velqhost.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT hostdev)
install(EXPORT VelqHostTargets NAMESPACE VelqHost:: DESTINATION ${VELQ_CMAKE_DIR} COMPONENT hostdev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/host/VelqHostConfig.cmake.in
  ${CMAKE_BINARY_DIR}/host/VelqHostConfig.cmake INSTALL_DESTINATION ${VELQ_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/host/VelqHostConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/host/VelqHostConfig.cmake ${CMAKE_BINARY_DIR}/host/VelqHostConfigVersion.cmake
  DESTINATION ${VELQ_CMAKE_DIR} COMPONENT hostdev)

# ---- libserialkvl-jni ----
if(TARGET serialKVL)
  install(TARGETS serialKVL LIBRARY DESTINATION ${VELQ_JNI_DIR} COMPONENT serialjni)
endif()
# The jar carries both libraries too (for a JVM that finds none on its
# library path); the pom beside it makes it the Maven artifact
# com.velq:velqhost (mvn install:install-file -Dfile=velqhost.jar
# -DpomFile=velqhost.pom).
if(TARGET velqhost_jar)
  install(FILES ${VELQ_HOST_JAR} ${VELQ_HOST_POM} DESTINATION ${VELQ_JAR_DIR} COMPONENT serialjni)
endif()

# Every package carries the copyright file and the compressed changelog
# Debian asks for (gzip -n: no name or time inside, so it is reproducible).
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
execute_process(COMMAND gzip -9 -n -f -k ${CMAKE_BINARY_DIR}/packaging/changelog.Debian RESULT_VARIABLE VELQ_GZIP)
if(NOT VELQ_GZIP EQUAL 0)
  message(FATAL_ERROR "gzip could not compress the Debian changelog")
endif()
foreach(package skinvelq libvelqhost1 libvelqhost-dev libserialkvl-jni)
  string(REPLACE "skinvelq" "dashboard" component ${package})
  string(REPLACE "libvelqhost1" "hostlib" component ${component})
  string(REPLACE "libvelqhost-dev" "hostdev" component ${component})
  string(REPLACE "libserialkvl-jni" "serialjni" component ${component})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

# ---- Debian packages ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skinvelq)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The SkinVELQ developers")
set(CPACK_PACKAGE_CONTACT "SkinVELQ developers <skinvelq@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "skinnable live dashboard with its host library")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL dashboard hostlib hostdev serialjni)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://example.org/skinvelq)
# Dependencies on system libraries are computed; our own library is found
# in the build tree while they are.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/host)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
set(VELQ_DEB_SELF "${PROJECT_VERSION}-1")

set(CPACK_DEBIAN_DASHBOARD_PACKAGE_NAME skinvelq)
set(CPACK_DEBIAN_DASHBOARD_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_DASHBOARD_PACKAGE_DEPENDS "libvelqhost1 (= ${VELQ_DEB_SELF})")
set(CPACK_COMPONENT_DASHBOARD_DESCRIPTION "skinnable live dashboard driven by a host application
 SkinVELQ shows a skin (a window with gauges, bars, counters, LEDs, clocks,
 matrices and labels, each bound to one of the host's sensors) and redraws
 it from a shared-memory block on every data-ready notification. Also
 skinhost (a host stand-in), skinrender (renders a skin without a display),
 skinconv (skin file converter), kvlports (serial port map) and the demo
 skins in /usr/share/skinvelq.")

set(CPACK_DEBIAN_HOSTLIB_PACKAGE_NAME libvelqhost1)
set(CPACK_DEBIAN_HOSTLIB_PACKAGE_SECTION libs)
# The loader's cache is refreshed by a trigger, as Debian's libraries do.
set(CPACK_DEBIAN_HOSTLIB_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/libvelqhost1/triggers)
set(CPACK_COMPONENT_HOSTLIB_DESCRIPTION "host side of the SkinVELQ dashboard's data channel
 libvelqhost reads a skin's slot layout, owns the shared block, writes
 sensor values, notifies the dashboard and starts it. It needs only the C
 and C++ runtimes.")

set(CPACK_DEBIAN_HOSTDEV_PACKAGE_NAME libvelqhost-dev)
set(CPACK_DEBIAN_HOSTDEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_HOSTDEV_PACKAGE_DEPENDS "libvelqhost1 (= ${VELQ_DEB_SELF})")
set(CPACK_COMPONENT_HOSTDEV_DESCRIPTION "host side of the SkinVELQ dashboard's data channel (development files)
 The C header velq/host.h, the pkg-config file velqhost.pc and the CMake
 package VelqHost (find_package(VelqHost) gives VelqHost::velqhost).")

set(CPACK_DEBIAN_SERIALJNI_PACKAGE_NAME libserialkvl-jni)
set(CPACK_DEBIAN_SERIALJNI_PACKAGE_SECTION java)
# A JNI library is loaded by name, not linked: it has no soname to list.
set(CPACK_DEBIAN_SERIALJNI_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_SERIALJNI_PACKAGE_DEPENDS "libvelqhost1 (= ${VELQ_DEB_SELF})")
set(CPACK_COMPONENT_SERIALJNI_DESCRIPTION "serial-port library and dashboard host binding for Java
 libserialKVL.so drives four serial ports at once for a Java host (JNI).
 velqhost.jar carries its Java class and the dashboard's host binding
 com.velq.dashboard.HostChannel, with copies of both native libraries for
 JVMs that do not look in the system's folders; velqhost.pom describes it
 as the Maven artifact com.velq:velqhost.")

include(CPack)
