# Header-only libraries for a cross build, taken from the build machine's packages.
# Only each library's own folder is put on the include path, through a folder of
# links in the build tree: the build machine's /usr/include also holds its C library
# headers, which must never come before the target's.
function(vuq_host_header_library TARGET HEADER)
  find_path(${TARGET}_HOST_INCLUDE ${HEADER} NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  string(REGEX REPLACE "/.*" "" TOP ${HEADER})
  set(LINKS ${CMAKE_BINARY_DIR}/host-include)
  file(MAKE_DIRECTORY ${LINKS})
  file(CREATE_LINK ${${TARGET}_HOST_INCLUDE}/${TOP} ${LINKS}/${TOP} SYMBOLIC)
  add_library(${TARGET} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${TARGET} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${LINKS})
endfunction()

vuq_host_header_library(CLI11::CLI11 CLI/CLI.hpp)
vuq_host_header_library(nlohmann_json::nlohmann_json nlohmann/json.hpp)
