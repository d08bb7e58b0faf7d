// Windows backend of the folder listing: names cross as UTF-8 and reach the
// system as UTF-16, as in file_win32.cpp.
#include "platform/dir.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>

namespace {

std::wstring to_utf16(const std::string& text, bool* ok) {
    *ok = true;
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) {
        *ok = false;
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), n);
    return wide;
}

std::string to_utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), n, nullptr, nullptr);
    narrow.pop_back();  // the converted final zero
    return narrow;
}

}  // namespace

FolderListing platform_list_folder(const char* path, std::vector<std::string>* names, int* error) {
    names->clear();
    *error = 0;
    bool ok = false;
    std::wstring folder = to_utf16(path, &ok);
    if (!ok) {
        *error = ERROR_INVALID_NAME;
        return FolderListing::FAILED;
    }
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = static_cast<int>(GetLastError());
        return FolderListing::FAILED;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        *error = ERROR_DIRECTORY;
        return FolderListing::NOT_A_FOLDER;
    }
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    folder += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(folder.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        *error = static_cast<int>(GetLastError());
        return FolderListing::FAILED;
    }
    do {
        std::string name = to_utf8(found.cFileName);
        if (name.empty() || name == "." || name == "..") continue;
        names->push_back(name);
    } while (FindNextFileW(search, &found));
    DWORD code = GetLastError();
    FindClose(search);
    if (code != ERROR_NO_MORE_FILES) {
        names->clear();
        *error = static_cast<int>(code);
        return FolderListing::FAILED;
    }
    std::sort(names->begin(), names->end());
    return FolderListing::LISTED;
}
