# Fails when a source file outside src/platform/ includes an operating
# system's own headers: the rest of the tool reaches the system only through
# platform/file.hpp, so that it builds unchanged for Linux and Windows.
#
#   cmake -DSOURCE_DIR=<project> -P tests/platform_headers.cmake
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.hpp)
set(system_header
    "^[ \t]*#[ \t]*include[ \t]*[<\"](windows|winbase|winioctl|io|direct|unistd|fcntl|spawn|dirent|pthread|langinfo|sys/[a-z_]+)\\.h[>\"]")
set(found "")
set(count 0)
foreach(source IN LISTS sources)
  if(source MATCHES "/src/platform/")
    continue()
  endif()
  math(EXPR count "${count} + 1")
  file(STRINGS ${source} lines REGEX "${system_header}")
  foreach(line IN LISTS lines)
    string(APPEND found "\n  ${source}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "system headers outside src/platform/:${found}")
endif()
message(STATUS "${count} source files reach the system only through src/platform/")
