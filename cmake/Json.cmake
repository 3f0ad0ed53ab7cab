# nlohmann/json, header-only, from Debian's nlohmann-json3-dev. The Windows build sees only a
# copy of its own headers: adding /usr/include would mix glibc headers into it.
# Gives the target nelo_json.
set(NELO_JSON_SYSTEM_DIR /usr/include/nlohmann)
if(NOT EXISTS ${NELO_JSON_SYSTEM_DIR}/json.hpp)
  message(FATAL_ERROR "nlohmann/json is missing: run scripts/setup")
endif()
add_library(nelo_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  set(NELO_JSON_INCLUDE_DIR ${CMAKE_BINARY_DIR}/json-include)
  file(COPY ${NELO_JSON_SYSTEM_DIR} DESTINATION ${NELO_JSON_INCLUDE_DIR})
  target_include_directories(nelo_json SYSTEM INTERFACE ${NELO_JSON_INCLUDE_DIR})
endif()
