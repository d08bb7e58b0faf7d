# Configures the project in a scratch folder as on a machine without
# GoogleTest and Google Benchmark, and builds the tool there: configuring
# must succeed, say that the tests and benchmarks are left out, and the
# tool must build.
#
#   cmake -DSOURCE_DIR=<project> -DSCRATCH=<folder> -P tests/bare_configure.cmake
file(REMOVE_RECURSE ${SCRATCH})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${SCRATCH}
          -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configure failed (${status}):\n${output}${errors}")
endif()
foreach(expected "GoogleTest not found: the tests are left out"
                 "Google Benchmark not found: the micro-benchmarks are left out")
  string(FIND "${output}" "-- ${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "configure did not say \"${expected}\":\n${output}")
  endif()
endforeach()
if(EXISTS ${SCRATCH}/tests OR errors)
  message(FATAL_ERROR "configure still set up the tests or warned:\n${errors}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${SCRATCH} -j2 --target m2vhdr
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT EXISTS ${SCRATCH}/m2vhdr)
  message(FATAL_ERROR "the tool did not build (${status}):\n${output}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
