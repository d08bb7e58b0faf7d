// The Windows entry point: the arguments arrive as UTF-16 (wmain, linked
// with -municode) and go on to the tool as UTF-8, so that a file name with
// characters outside the ANSI code page reaches platform_open whole, and a
// bit rate written in fullwidth digits stays non-ASCII and is refused.
#include "platform/file.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>

extern "C" int wmain(int argc, wchar_t** wide_argv) {
    char** argv = static_cast<char**>(std::calloc(static_cast<std::size_t>(argc) + 1, sizeof(char*)));
    if (!argv) return 1;
    for (int i = 0; i < argc; ++i) {
        int size = WideCharToMultiByte(CP_UTF8, 0, wide_argv[i], -1, nullptr, 0, nullptr, nullptr);
        argv[i] = static_cast<char*>(std::malloc(size > 0 ? static_cast<std::size_t>(size) : 1));
        if (!argv[i]) return 1;
        argv[i][0] = '\0';
        if (size > 0) {
            WideCharToMultiByte(CP_UTF8, 0, wide_argv[i], -1, argv[i], size, nullptr, nullptr);
        }
    }
    return m2vhdr_main(argc, argv);
}
