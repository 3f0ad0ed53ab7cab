# The sources, found by their names: "foo.cpp" is portable, "foo_win.cpp" calls Windows and is
# built only for Windows, "foo_openssl.cpp" is the native stand-in of a Windows service. The
# entry point (src/main/main_win.cpp) belongs to the executable.
file(GLOB NELO_ALL_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/src/*/*.cpp)

set(NELO_CORE_SOURCES "")
set(NELO_WIN_SOURCES "")
set(NELO_NATIVE_ONLY_SOURCES "")
set(NELO_WINDOWS_CORE_SOURCES "")
foreach(source IN LISTS NELO_ALL_SOURCES)
  if(source MATCHES "/main_win\\.cpp$")
    continue()
  elseif(source MATCHES "/sha256_win\\.cpp$")
    # The digest is a platform service of the portable core (OpenSSL natively).
    list(APPEND NELO_WINDOWS_CORE_SOURCES ${source})
  elseif(source MATCHES "_win\\.cpp$")
    list(APPEND NELO_WIN_SOURCES ${source})
  elseif(source MATCHES "_openssl\\.cpp$")
    list(APPEND NELO_NATIVE_ONLY_SOURCES ${source})
  else()
    list(APPEND NELO_CORE_SOURCES ${source})
  endif()
endforeach()
