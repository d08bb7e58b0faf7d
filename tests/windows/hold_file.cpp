// Holds a file open, as another program would while m2vhdr runs:
//
//   hold_file PATH ACCESS SHARE
//
// ACCESS is r, w or rw (GENERIC_READ, GENERIC_WRITE or both). SHARE lists
// what the holder lets other openers do: any of r, w and d (FILE_SHARE_READ,
// FILE_SHARE_WRITE, FILE_SHARE_DELETE), or - for nothing. Once the file is
// open the program prints "held" and keeps the handle until its standard
// input ends. It exits with 1 if the open fails, 2 on a usage error.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

bool parse_access(const char* text, DWORD* access) {
    if (std::strcmp(text, "r") == 0) {
        *access = GENERIC_READ;
    } else if (std::strcmp(text, "w") == 0) {
        *access = GENERIC_WRITE;
    } else if (std::strcmp(text, "rw") == 0) {
        *access = GENERIC_READ | GENERIC_WRITE;
    } else {
        return false;
    }
    return true;
}

bool parse_share(const char* text, DWORD* share) {
    *share = 0;
    if (std::strcmp(text, "-") == 0) return true;
    for (const char* c = text; *c; ++c) {
        switch (*c) {
        case 'r': *share |= FILE_SHARE_READ; break;
        case 'w': *share |= FILE_SHARE_WRITE; break;
        case 'd': *share |= FILE_SHARE_DELETE; break;
        default: return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    DWORD access = 0;
    DWORD share = 0;
    if (argc != 4 || !parse_access(argv[2], &access) || !parse_share(argv[3], &share)) {
        std::fputs("usage: hold_file PATH r|w|rw SHARE\n", stderr);
        return 2;
    }
    HANDLE h = CreateFileA(argv[1], access, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "open failed: error %lu\n", GetLastError());
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    CloseHandle(h);
    return 0;
}
