# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64), and runs what it builds under Wine (package wine64):
#
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
#
# The posix-threads variant of the compiler gives GoogleTest the threads of
# the C++ library. Everything is linked statically, so that m2vhdr.exe needs
# no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and test discovery start the .exe files through Wine, in a prefix of
# their own inside the build folder, without Wine's debug chatter and without
# the Mono and Gecko installers that a new prefix would otherwise offer.
# Wine maps a page of its own at a fixed address when a program starts; with
# the address space laid out at random, something else now and then lies
# there already and the program dies before main ("failed to map the shared
# user data", status 1, nothing printed under WINEDEBUG=-all). setarch -R
# starts Wine with the same layout every time.
set(M2VHDR_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader for 64-bit programs")
set(M2VHDR_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "Wine prefix of the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEPREFIX=${M2VHDR_WINEPREFIX}
    setarch x86_64 -R ${M2VHDR_WINE})
