# Nettle, for SHA-256 (with the processor's SHA extensions where it has them): natively Debian's
# nettle-dev; for Windows Debian's nettle source package, built with run-time selection of the
# fastest code ("fat"). Gives the target nelo_nettle.
if(CMAKE_CROSSCOMPILING)
  include(cmake/AutotoolsDependency.cmake)
  set(NELO_NETTLE_SOURCE_DIR /usr/local/src/nelo-deps/nettle-src
      CACHE PATH "Nettle's source (Debian's nettle source package)")
  nelo_autotools_dependency(nelo_nettle ${NELO_NETTLE_SOURCE_DIR} libnettle.a libnettle.a
                            install-headers --enable-fat --disable-documentation
                            --disable-openssl --disable-public-key)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(NELO_NETTLE REQUIRED IMPORTED_TARGET nettle)
  add_library(nelo_nettle INTERFACE)
  target_link_libraries(nelo_nettle INTERFACE PkgConfig::NELO_NETTLE)
endif()
