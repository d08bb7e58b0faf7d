// POSIX backend of folders, standard input and spool files.
#include "platform/folder.hpp"
#include "platform/failure.hpp"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool platform_folder_id(const char* path, FolderId* id) {
    struct stat st = {};
    if (stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    id->device = static_cast<std::uint64_t>(st.st_dev);
    id->node = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool platform_folder_entries(const char* path, std::vector<FolderEntry>* entries) {
    DIR* dir = opendir(path);
    if (!dir) {
        platform_note_failure(static_cast<std::uint32_t>(errno));
        return false;
    }
    std::string child = path;
    if (child.empty() || child.back() != '/') child += '/';
    const std::size_t stem = child.size();
    for (;;) {
        errno = 0;
        const dirent* d = readdir(dir);
        if (!d) break;
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        // Links and file systems that give no type are asked through stat.
        bool folder = d->d_type == DT_DIR;
        if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
            child.resize(stem);
            child += name;
            struct stat st = {};
            folder = stat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries->push_back({name, folder});
    }
    int code = errno;
    closedir(dir);
    if (code != 0) {
        platform_note_failure(static_cast<std::uint32_t>(code));
        return false;
    }
    return true;
}

char platform_path_separator() { return '/'; }

bool platform_expands_patterns() { return false; }

bool platform_match_pattern(const char*, std::vector<FolderEntry>*) {
    platform_note_failure(static_cast<std::uint32_t>(ENOENT));
    return false;
}

bool platform_open_standard_input(FileHandle* file) {
    int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        platform_note_failure(static_cast<std::uint32_t>(errno));
        return false;
    }
    file->handle = fd;
    return true;
}

std::FILE* platform_spool_file() {
    // In TMPDIR when it is set, as users expect (the C library's tmpfile()
    // takes /tmp always), and gone from the folder at once.
    const char* folder = std::getenv("TMPDIR");
    std::string name = folder && *folder ? folder : "/tmp";
    name += "/m2vhdr-XXXXXX";
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    unlink(name.c_str());
    std::FILE* spool = fdopen(fd, "w+");
    if (!spool) close(fd);
    return spool;
}
