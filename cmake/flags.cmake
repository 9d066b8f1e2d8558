# Compiler flags shared by every target of the project.
# Exactness: the limb kernels rely on IEEE double rounding of every single operation, so
# floating-point contraction into FMA is disabled and no fast-math flag is ever used.
add_library(zeprix_flags INTERFACE)
target_compile_options(zeprix_flags INTERFACE
  -ffp-contract=off -fno-fast-math
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wdouble-promotion
  -Wimplicit-fallthrough -Wconversion -Wold-style-cast)
if(ZEPRIX_WERROR)
  target_compile_options(zeprix_flags INTERFACE -Werror)
endif()
if(ZEPRIX_PORTABLE)
  target_compile_options(zeprix_flags INTERFACE -march=x86-64)
  target_compile_definitions(zeprix_flags INTERFACE ZEPRIX_PORTABLE=1)
else()
  target_compile_options(zeprix_flags INTERFACE -march=${ZEPRIX_MARCH})
endif()
if(ZEPRIX_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND _san -fsanitize=float-cast-overflow)
  endif()
  target_compile_options(zeprix_flags INTERFACE ${_san} -O1 -g -fno-omit-frame-pointer)
  target_compile_definitions(zeprix_flags INTERFACE _GLIBCXX_ASSERTIONS ZEPRIX_SANITIZED=1)
  target_link_options(zeprix_flags INTERFACE ${_san})
endif()
if(ZEPRIX_TSAN)
  # ThreadSanitizer cannot share a process with AddressSanitizer.
  if(ZEPRIX_SANITIZE)
    message(FATAL_ERROR "ZEPRIX_TSAN and ZEPRIX_SANITIZE exclude each other: use two build trees")
  endif()
  target_compile_options(zeprix_flags INTERFACE -fsanitize=thread -g -fno-omit-frame-pointer)
  target_compile_definitions(zeprix_flags INTERFACE ZEPRIX_SANITIZED=1)
  target_link_options(zeprix_flags INTERFACE -fsanitize=thread)
endif()
if(CMAKE_BUILD_TYPE STREQUAL "Debug" OR ZEPRIX_SANITIZE)
  target_compile_definitions(zeprix_flags INTERFACE ZEPRIX_DEBUG_ASSERTS=1)
endif()
