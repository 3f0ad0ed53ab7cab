# Keeps a dependency's install folder FROM in the dependency cache as TO: copied to a folder of
# its own beside TO, marked complete, then renamed to TO, so that a build stopped at any point
# leaves either no TO or a whole one. A TO that another build kept meanwhile is left as it is.
#   cmake -DFROM=... -DTO=... -DKEY=... -P KeepDependency.cmake
if(EXISTS ${TO}/complete)
  return()
endif()
get_filename_component(cache ${TO} DIRECTORY)
string(RANDOM LENGTH 12 ALPHABET abcdefghijklmnopqrstuvwxyz0123456789 suffix)
set(staging ${TO}.partial-${suffix})
file(MAKE_DIRECTORY ${cache})
file(COPY ${FROM}/ DESTINATION ${staging})
file(WRITE ${staging}/complete "${KEY}\n")
if(EXISTS ${TO})
  file(REMOVE_RECURSE ${TO})  # a folder without its mark: a copy that never finished
endif()
file(RENAME ${staging} ${TO} RESULT renamed)
if(NOT renamed STREQUAL "0")
  file(REMOVE_RECURSE ${staging})
endif()
