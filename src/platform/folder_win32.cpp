// Windows backend of folders, wildcard patterns, standard input and spool
// files. Names reach the system as UTF-16 and come back as UTF-8.
#include "platform/folder.hpp"
#include "platform/failure.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace {

std::wstring wide(const char* text) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, w.data(), n);
    w.resize(static_cast<std::size_t>(n - 1));
    return w;
}

std::string narrow(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<std::size_t>(n - 1));
    return s;
}

bool is_dot_or_dot_dot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Every entry that FindFirstFileW finds for `query`, links to folders
// (reparse points) left out so that no walk can go round in a loop. False
// when it finds nothing or fails.
bool find_all(const std::wstring& query, std::vector<FolderEntry>* entries) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(query.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        platform_note_failure(GetLastError());
        return false;
    }
    do {
        if (is_dot_or_dot_dot(data.cFileName)) continue;
        bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
        entries->push_back({narrow(data.cFileName), folder});
    } while (FindNextFileW(find, &data));
    DWORD code = GetLastError();
    FindClose(find);
    if (code != ERROR_NO_MORE_FILES) {
        platform_note_failure(code);
        return false;
    }
    return true;
}

}  // namespace

bool platform_folder_id(const char* path, FolderId* id) {
    std::wstring w = wide(path);
    DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    // The walk never follows reparse points, so the path itself serves.
    id->device = 0;
    id->node = 0;
    return true;
}

bool platform_folder_entries(const char* path, std::vector<FolderEntry>* entries) {
    std::wstring query = wide(path);
    if (!query.empty() && query.back() != L'\\' && query.back() != L'/') query += L'\\';
    query += L'*';
    std::vector<FolderEntry> found;
    if (!find_all(query, &found)) {
        // An empty folder has no entries, yet it can be read.
        if (platform_last_error() != ERROR_FILE_NOT_FOUND) return false;
    }
    entries->insert(entries->end(), found.begin(), found.end());
    return true;
}

char platform_path_separator() { return '\\'; }

bool platform_expands_patterns() { return true; }

bool platform_match_pattern(const char* pattern, std::vector<FolderEntry>* matches) {
    return find_all(wide(pattern), matches) && !matches->empty();
}

bool platform_open_standard_input(FileHandle* file) {
    HANDLE process = GetCurrentProcess();
    HANDLE copy = nullptr;
    if (!DuplicateHandle(process, GetStdHandle(STD_INPUT_HANDLE), process, &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        platform_note_failure(GetLastError());
        return false;
    }
    file->handle = reinterpret_cast<std::intptr_t>(copy);
    return true;
}

std::FILE* platform_spool_file() {
    // The C library's tmpfile() would make its file in the root of the
    // drive, where a user may not write.
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"m2v", 0, name) == 0)
        return nullptr;
    HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DeleteFileW(name);
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* spool = _fdopen(fd, "w+b");
    if (!spool) _close(fd);
    return spool;
}
