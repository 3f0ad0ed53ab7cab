# A dependency from Debian's source package, built with its own configure script for the cross
# compiler as a static library (scripts/setup prepares the source below /usr/local/src).
#   nelo_autotools_dependency(TARGET SOURCE_DIR LIBRARY BUILD_TARGET INSTALL_TARGET
#                             CONFIGURE_ARGS...)
# makes the imported target TARGET: LIBRARY is where the build leaves the static library (below
# its build folder), copied to <prefix>/install/lib; the headers go to <prefix>/install/include.
include(ExternalProject)

function(nelo_autotools_dependency target source_dir library build_target install_target)
  if(NOT EXISTS ${source_dir}/configure)
    message(FATAL_ERROR "No source with a configure script in ${source_dir}: run scripts/setup")
  endif()
  set(prefix ${CMAKE_BINARY_DIR}/${target}-dependency)
  get_filename_component(library_name ${library} NAME)
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
  file(MAKE_DIRECTORY ${prefix}/install/include)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION ${prefix}/install/lib/${library_name}
    INTERFACE_INCLUDE_DIRECTORIES ${prefix}/install/include)
  add_dependencies(${target} ${target}_build)
endfunction()
