# The sources, found by their names: "foo.cpp" is portable, "foo_win.cpp" calls Windows and is
# built only for Windows. The entry point (src/main/main_win.cpp) belongs to the executable.
file(GLOB NELO_ALL_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/src/*/*.cpp)

set(NELO_CORE_SOURCES "")
set(NELO_WIN_SOURCES "")
foreach(source IN LISTS NELO_ALL_SOURCES)
  if(source MATCHES "/main_win\\.cpp$")
    continue()
  elseif(source MATCHES "_win\\.cpp$")
    list(APPEND NELO_WIN_SOURCES ${source})
  else()
    list(APPEND NELO_CORE_SOURCES ${source})
  endif()
endforeach()
