# Installs the build into a scratch prefix, checks the installed files, and runs the
# installed program: its version, its help (which names the installed help.txt) and 10^4
# digits of Pi. The scratch directory is removed on every outcome.
# Run as: cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<sources> -DWORK=<scratch> -P install_test.cmake
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE "${WORK}")
set(prefix "${WORK}/prefix")

macro(fail what)
  file(REMOVE_RECURSE "${WORK}")
  message(FATAL_ERROR "${what}")
endmacro()

execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  fail("cmake --install failed:\n${out}")
endif()

file(GLOB examples RELATIVE "${SOURCE_DIR}/examples" "${SOURCE_DIR}/examples/*.zeprix")
list(TRANSFORM examples PREPEND "share/zeprix/examples/")
foreach(f bin/zeprix share/zeprix/help.txt share/man/man1/zeprix.1 ${examples})
  if(NOT EXISTS "${prefix}/${f}")
    fail("${f} is not installed")
  endif()
endforeach()

execute_process(COMMAND "${prefix}/bin/zeprix" --version
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^zeprix [0-9]")
  fail("zeprix --version: status ${rc}:\n${out}")
endif()
execute_process(COMMAND "${prefix}/bin/zeprix" --help
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
string(FIND "${out}" "${prefix}/share/zeprix/help.txt" at)
if(NOT rc EQUAL 0 OR at EQUAL -1)
  fail("zeprix --help does not name the installed help.txt:\n${out}")
endif()

file(MAKE_DIRECTORY "${WORK}/run")
execute_process(COMMAND "${prefix}/bin/zeprix" pi 10000 --output "${WORK}/run"
  WORKING_DIRECTORY "${WORK}" INPUT_FILE /dev/null
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
set(result "")
if(EXISTS "${WORK}/run/pi.txt")
  file(READ "${WORK}/run/pi.txt" result)
endif()
string(FIND "${result}" "Pi = 3.\n1415926535 8979323846" head)
string(FIND "${result}" "5256375678  : 10000\n" tail)
if(NOT rc EQUAL 0 OR head EQUAL -1 OR tail EQUAL -1 OR NOT out MATCHES "seems OK")
  fail("zeprix pi 10000: status ${rc}:\n${out}")
endif()
file(REMOVE_RECURSE "${WORK}")
