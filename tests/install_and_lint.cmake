# Installs the build into a scratch prefix, checks that the program and the
# man page land where a Unix tool's do, and runs the man page through
# mandoc's linter, failing on any warning.
#
#   cmake -DBUILD_DIR=<build> -DPREFIX=<folder> -DMANDOC=<mandoc> -P tests/install_and_lint.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install failed (${status}):\n${output}")
endif()
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)
if(NOT installed STREQUAL "bin/m2vhdr;share/man/man1/m2vhdr.1")
  message(FATAL_ERROR "installed: ${installed}")
endif()
execute_process(COMMAND ${MANDOC} -T lint -W warning ${PREFIX}/share/man/man1/m2vhdr.1
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR output)
  message(FATAL_ERROR "mandoc -T lint (${status}):\n${output}")
endif()
execute_process(COMMAND ${PREFIX}/bin/m2vhdr RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(NOT status EQUAL 2)
  message(FATAL_ERROR "the installed m2vhdr without arguments ended with ${status}, not 2")
endif()
file(REMOVE_RECURSE ${PREFIX})
