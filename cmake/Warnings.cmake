# One set of warnings for every target of the project.
add_library(vuq_warnings INTERFACE)
target_compile_options(vuq_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wcast-align -Wnon-virtual-dtor
  -Wold-style-cast -Woverloaded-virtual -Wimplicit-fallthrough)
if(VUQ_WERROR)
  target_compile_options(vuq_warnings INTERFACE -Werror)
endif()
# GCC 12 reports -Wrestrict inside libstdc++'s string concatenation at -O2 and above
# for code that is correct (GCC bug 105329); the warning is off for that compiler.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(vuq_warnings INTERFACE -Wno-restrict)
endif()
