# A dependency from Debian's source package, built with its own configure script for the cross
# compiler as a static library (scripts/setup prepares the source below /usr/local/src).
#   nelo_autotools_dependency(TARGET SOURCE_DIR LIBRARY BUILD_TARGET INSTALL_TARGET
#                             CONFIGURE_ARGS...)
# makes the imported target TARGET: LIBRARY is where the build leaves the static library (below
# its build folder), copied to <prefix>/install/lib; the headers go to <prefix>/install/include.
#
# With NELO_DEPENDENCY_CACHE set, what the build installs is kept there, in a folder named by a
# key of everything that goes into it (the source package's name and version, the compiler's
# own description of itself, the toolchain file, the flags and the arguments), and a later build
# tree with the same key takes it from there instead of building it again:
#   <cache>/<target>-<key>/
#     lib/<library>         the static library
#     include/...           its headers
#     complete              written before the folder gets its name: without it, never used
include(ExternalProject)

set(NELO_DEPENDENCY_CACHE "" CACHE PATH
    "Where the dependencies built from source are kept between build trees (empty: nowhere)")

# Bump when the way a dependency is built here changes in a way the key does not see.
set(NELO_DEPENDENCY_RECIPE 1)

# The key of a dependency's build, into `out`.
function(nelo_dependency_key out target source_dir)
  set(package "")
  if(EXISTS ${source_dir}/debian/changelog)
    file(STRINGS ${source_dir}/debian/changelog package LIMIT_COUNT 1)
  endif()
  execute_process(COMMAND ${CMAKE_C_COMPILER} --version OUTPUT_VARIABLE compiler
                  ERROR_QUIET RESULT_VARIABLE compiler_failed)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpmachine OUTPUT_VARIABLE machine ERROR_QUIET)
  set(toolchain "")
  if(CMAKE_TOOLCHAIN_FILE AND EXISTS ${CMAKE_TOOLCHAIN_FILE})
    file(READ ${CMAKE_TOOLCHAIN_FILE} toolchain)
  endif()
  string(CONCAT described "recipe ${NELO_DEPENDENCY_RECIPE}\n${target}\n${source_dir}\n"
                "${package}\n${compiler}${compiler_failed}\n${machine}\n${toolchain}\n"
                "${CMAKE_C_FLAGS}\n${ARGN}")
  string(SHA256 key "${described}")
  string(SUBSTRING ${key} 0 24 key)
  set(${out} ${key} PARENT_SCOPE)
endfunction()

function(nelo_autotools_dependency target source_dir library build_target install_target)
  if(NOT EXISTS ${source_dir}/configure)
    message(FATAL_ERROR "No source with a configure script in ${source_dir}: run scripts/setup")
  endif()
  get_filename_component(library_name ${library} NAME)
  if(NELO_DEPENDENCY_CACHE)
    nelo_dependency_key(key ${target} ${source_dir} ${library} ${build_target} ${install_target}
                        ${ARGN})
    set(kept ${NELO_DEPENDENCY_CACHE}/${target}-${key})
    if(EXISTS ${kept}/complete AND EXISTS ${kept}/lib/${library_name}
       AND IS_DIRECTORY ${kept}/include)
      message(STATUS "${target}: built before, taken from ${kept}")
      add_library(${target} STATIC IMPORTED GLOBAL)
      set_target_properties(${target} PROPERTIES
        IMPORTED_LOCATION ${kept}/lib/${library_name}
        INTERFACE_INCLUDE_DIRECTORIES ${kept}/include)
      return()
    endif()
    message(STATUS "${target}: building it, to keep in ${kept}")
  endif()
  set(prefix ${CMAKE_BINARY_DIR}/${target}-dependency)
  ExternalProject_Add(${target}_build
    SOURCE_DIR ${source_dir}
    BINARY_DIR ${prefix}/build
    INSTALL_DIR ${prefix}/install
    CONFIGURE_COMMAND ${source_dir}/configure --host=x86_64-w64-mingw32 --prefix=<INSTALL_DIR>
      --disable-shared CC=${CMAKE_C_COMPILER} ${ARGN}
    BUILD_COMMAND make ${build_target}
    INSTALL_COMMAND make ${install_target}
      COMMAND ${CMAKE_COMMAND} -E make_directory <INSTALL_DIR>/lib
      COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/${library} <INSTALL_DIR>/lib/
    BUILD_BYPRODUCTS ${prefix}/install/lib/${library_name})
  if(NELO_DEPENDENCY_CACHE)
    # Only a whole install is kept, and it gets its name in one rename.
    ExternalProject_Add_Step(${target}_build keep
      COMMAND ${CMAKE_COMMAND} -DFROM=<INSTALL_DIR> -DTO=${kept} -DKEY=${key}
              -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/KeepDependency.cmake
      DEPENDEES install)
  endif()
  file(MAKE_DIRECTORY ${prefix}/install/include)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION ${prefix}/install/lib/${library_name}
    INTERFACE_INCLUDE_DIRECTORIES ${prefix}/install/include)
  add_dependencies(${target} ${target}_build)
endfunction()
