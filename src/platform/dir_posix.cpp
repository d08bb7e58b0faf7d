// POSIX backend of the folder listing.
#include "platform/dir.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

FolderListing platform_list_folder(const char* path, std::vector<std::string>* names, int* error) {
    names->clear();
    *error = 0;
    DIR* folder = opendir(path);
    if (!folder) {
        *error = errno;
        return errno == ENOTDIR ? FolderListing::NOT_A_FOLDER : FolderListing::FAILED;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(folder);
        if (!entry) break;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names->emplace_back(entry->d_name);
    }
    int code = errno;
    closedir(folder);
    if (code != 0) {
        names->clear();
        *error = code;
        return FolderListing::FAILED;
    }
    std::sort(names->begin(), names->end());
    return FolderListing::LISTED;
}
