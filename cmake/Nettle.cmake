# Nettle, for SHA-256 (with the processor's SHA extensions where it has them): natively Debian's
# nettle-dev; for Windows Debian's nettle source package (prepared by scripts/setup), configured
# for the cross compiler and built here as a static library with run-time selection of the
# fastest code ("fat"). Gives the target nelo_nettle.
if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(NELO_NETTLE_SOURCE_DIR /usr/local/src/nelo-deps/nettle-src
      CACHE PATH "Nettle's source (Debian's nettle source package)")
  if(NOT EXISTS ${NELO_NETTLE_SOURCE_DIR}/configure)
    message(FATAL_ERROR "No Nettle source in ${NELO_NETTLE_SOURCE_DIR}: run scripts/setup")
  endif()
  set(nettle_prefix ${CMAKE_BINARY_DIR}/nettle)
  ExternalProject_Add(nettle_build
    SOURCE_DIR ${NELO_NETTLE_SOURCE_DIR}
    BINARY_DIR ${nettle_prefix}/build
    INSTALL_DIR ${nettle_prefix}/install
    CONFIGURE_COMMAND ${NELO_NETTLE_SOURCE_DIR}/configure --host=x86_64-w64-mingw32
      --prefix=<INSTALL_DIR> --enable-fat --disable-shared --disable-documentation
      --disable-openssl --disable-public-key CC=${CMAKE_C_COMPILER}
    BUILD_COMMAND make libnettle.a
    INSTALL_COMMAND make install-headers
      COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libnettle.a <INSTALL_DIR>/lib/libnettle.a
    BUILD_BYPRODUCTS ${nettle_prefix}/install/lib/libnettle.a)
  file(MAKE_DIRECTORY ${nettle_prefix}/install/include)
  add_library(nelo_nettle STATIC IMPORTED GLOBAL)
  set_target_properties(nelo_nettle PROPERTIES
    IMPORTED_LOCATION ${nettle_prefix}/install/lib/libnettle.a
    INTERFACE_INCLUDE_DIRECTORIES ${nettle_prefix}/install/include)
  add_dependencies(nelo_nettle nettle_build)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(NELO_NETTLE REQUIRED IMPORTED_TARGET nettle)
  add_library(nelo_nettle INTERFACE)
  target_link_libraries(nelo_nettle INTERFACE PkgConfig::NELO_NETTLE)
endif()
