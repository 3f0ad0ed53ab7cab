# libsodium, for Ed25519 signatures, BLAKE2b and the scrypt of password-protected minisign keys:
# natively Debian's libsodium-dev; for Windows Debian's libsodium source package (prepared by
# scripts/setup, configure script included), configured for the cross compiler and built here
# as a static library. Gives the target nelo_sodium.
if(CMAKE_CROSSCOMPILING)
  include(cmake/AutotoolsDependency.cmake)
  set(NELO_SODIUM_SOURCE_DIR /usr/local/src/nelo-deps/libsodium-src
      CACHE PATH "libsodium's source (Debian's libsodium source package)")
  nelo_autotools_dependency(nelo_sodium ${NELO_SODIUM_SOURCE_DIR}
                            src/libsodium/.libs/libsodium.a all install
                            --enable-static --disable-dependency-tracking)
  set_property(TARGET nelo_sodium APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC=1)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(NELO_SODIUM REQUIRED IMPORTED_TARGET libsodium)
  add_library(nelo_sodium INTERFACE)
  target_link_libraries(nelo_sodium INTERFACE PkgConfig::NELO_SODIUM)
endif()

# The release keys built into the launcher: NELO_RELEASE_KEYS names a minisign ".pub" file with
# one or more public keys. Empty (the default): no signature is asked for.
set(NELO_RELEASE_KEYS "" CACHE FILEPATH "minisign public keys of signed releases (empty: none)")
set(NELO_RELEASE_KEYS_TEXT "")
if(NELO_RELEASE_KEYS)
  file(READ ${NELO_RELEASE_KEYS} NELO_RELEASE_KEYS_TEXT)
  string(REGEX MATCHALL "\n?RW[A-Za-z0-9+/]+=*" key_lines "${NELO_RELEASE_KEYS_TEXT}")
  if(NOT key_lines)
    message(FATAL_ERROR "${NELO_RELEASE_KEYS} holds no minisign public key")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${NELO_RELEASE_KEYS})
endif()
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/src/release/release_keys.cpp.in
               ${CMAKE_BINARY_DIR}/generated/release_keys.cpp @ONLY)
