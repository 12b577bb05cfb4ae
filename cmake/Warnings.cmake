# One set of warnings for every target of the project.
add_library(vuq_warnings INTERFACE)
target_compile_options(vuq_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wcast-align -Wnon-virtual-dtor
  -Wold-style-cast -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
if(VUQ_WERROR)
  target_compile_options(vuq_warnings INTERFACE -Werror)
endif()
