# zstd, for the patches between versions of a file (a frame made with the old content as its
# prefix): natively Debian's libzstd-dev; for Windows the source of Debian's libzstd package
# (prepared by scripts/setup), built here with the cross compiler as a static library, without
# its programs and threads. Gives the target nelo_zstd; the experimental interface (a decoder
# that writes into one whole output buffer) is used, so the static library is what links.
if(CMAKE_CROSSCOMPILING)
  set(NELO_ZSTD_SOURCE_DIR /usr/local/src/nelo-deps/libzstd-src
      CACHE PATH "zstd's source (Debian's libzstd source package)")
  if(NOT EXISTS ${NELO_ZSTD_SOURCE_DIR}/build/cmake/CMakeLists.txt)
    message(FATAL_ERROR "No zstd source in ${NELO_ZSTD_SOURCE_DIR}: run scripts/setup")
  endif()
  set(ZSTD_BUILD_PROGRAMS OFF CACHE BOOL "" FORCE)
  set(ZSTD_BUILD_SHARED OFF CACHE BOOL "" FORCE)
  set(ZSTD_BUILD_STATIC ON CACHE BOOL "" FORCE)
  set(ZSTD_BUILD_TESTS OFF CACHE BOOL "" FORCE)
  set(ZSTD_MULTITHREAD_SUPPORT OFF CACHE BOOL "" FORCE)
  set(ZSTD_LEGACY_SUPPORT OFF CACHE BOOL "" FORCE)
  add_subdirectory(${NELO_ZSTD_SOURCE_DIR}/build/cmake ${CMAKE_BINARY_DIR}/zstd EXCLUDE_FROM_ALL)
  add_library(nelo_zstd INTERFACE)
  target_link_libraries(nelo_zstd INTERFACE libzstd_static)
  target_include_directories(nelo_zstd SYSTEM INTERFACE ${NELO_ZSTD_SOURCE_DIR}/lib)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(NELO_ZSTD REQUIRED IMPORTED_TARGET libzstd)
  add_library(nelo_zstd INTERFACE)
  target_link_libraries(nelo_zstd INTERFACE PkgConfig::NELO_ZSTD)
endif()
