# The Windows suite, run from this Linux build against the m2vhdr.exe of a
# cross build (M2VHDR_WINDOWS_BUILD, made with cmake/mingw-w64-x86_64.cmake)
# under Wine, all labelled "windows":
#
#  - wine/...: every case of m2vhdr_tests, with run_tool and run_binary
#    starting the .exe (M2VHDR_TOOL_COMMAND). Cases that rest on this
#    system's own facilities skip themselves, saying why.
#  - wine/Windows...: m2vhdr_windows_tests, what only the Windows build has
#    (line ends, share mode against a second Windows process, positions
#    beyond 4 GiB) and the same bytes as this build's binary on whole streams.
set(M2VHDR_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader for 64-bit programs")
# Started with the address space laid out the same every time: see
# cmake/mingw-w64-x86_64.cmake.
set(wine_launch "setarch x86_64 -R ${M2VHDR_WINE}")
set(windows_exe ${M2VHDR_WINDOWS_BUILD}/m2vhdr.exe)
set(wine_prefix ${M2VHDR_WINDOWS_BUILD}/wine-prefix)
# Wine hands a program started by its Unix path that path on drive Z: as
# argument 0.
string(REPLACE "/" "\\" windows_program "Z:${windows_exe}")
set(wine_environment
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=mscoree,mshtml="
  "WINEPREFIX=${wine_prefix}"
  "LOCPATH=${wine_prefix}/locale"
  "M2VHDR_TOOL_COMMAND=${wine_launch} ${windows_exe}"
  "M2VHDR_TOOL_PROGRAM=${windows_program}"
  "M2VHDR_HOLD_COMMAND=${wine_launch} ${M2VHDR_WINDOWS_BUILD}/tests/windows/hold_file.exe"
  "M2VHDR_CMD_COMMAND=${wine_launch} ${M2VHDR_WINDOWS_BUILD}/tests/windows/cmd_line.exe")

add_test(NAME wine.start COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-session start ${wine_prefix})
add_test(NAME wine.stop COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-session stop ${wine_prefix})
set_tests_properties(wine.start wine.stop PROPERTIES
  ENVIRONMENT M2VHDR_WINE=${M2VHDR_WINE} LABELS windows)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

add_executable(m2vhdr_windows_tests
  windows/exe_runner.cpp
  windows/line_ends_test.cpp
  windows/share_mode_test.cpp
  windows/large_file_test.cpp
  windows/same_bytes_test.cpp
  windows/console_test.cpp
  windows/language_test.cpp
  windows/fix_command_test.cpp
  windows/pattern_test.cpp
)
target_link_libraries(m2vhdr_windows_tests PRIVATE
  m2vhdr_test_support m2vhdr_core m2vhdr_platform GTest::gtest_main)
target_include_directories(m2vhdr_windows_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(m2vhdr_windows_tests PRIVATE
  M2VHDR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")

gtest_discover_tests(m2vhdr_tests TEST_PREFIX "wine/" TEST_LIST m2vhdr_wine_cases
  DISCOVERY_TIMEOUT 60)
gtest_discover_tests(m2vhdr_windows_tests TEST_PREFIX "wine/" TEST_LIST m2vhdr_windows_cases
  DISCOVERY_TIMEOUT 60)

# The discovered cases exist only when CTest runs; this script, read after
# the discovery's own, gives them the environment that names the .exe.
string(REPLACE "\\" "\\\\" wine_environment "${wine_environment}")
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/wine_properties.cmake CONTENT [[
if(m2vhdr_wine_cases OR m2vhdr_windows_cases)
  set_tests_properties(${m2vhdr_wine_cases} ${m2vhdr_windows_cases} PROPERTIES
    ENVIRONMENT "@wine_environment@" FIXTURES_REQUIRED wine LABELS windows TIMEOUT 300)
endif()
]] @ONLY)
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
  ${CMAKE_CURRENT_BINARY_DIR}/wine_properties.cmake)
