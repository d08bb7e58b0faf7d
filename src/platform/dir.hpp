// Listing the names in one folder.
//
// Kept apart from file.hpp: a folder is only listed, never opened for its
// contents, and the two backends stay small (dir_posix.cpp, dir_win32.cpp).
#pragma once

#include <string>
#include <vector>

enum class FolderListing { LISTED, NOT_A_FOLDER, FAILED };

// The names in folder `path` (UTF-8), without "." and "..", sorted in byte
// order. NOT_A_FOLDER when `path` names something that is not a folder (a
// file); FAILED when it cannot be listed, with `*error` the system's code
// (errno; Windows: GetLastError()) for platform_error_text. `*names` is
// emptied first.
FolderListing platform_list_folder(const char* path, std::vector<std::string>* names, int* error);
