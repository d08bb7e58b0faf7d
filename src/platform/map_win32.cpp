// Windows windows of a file mapped for reading.
//
// A file cannot be cut short while a view of it is mapped (SetEndOfFile
// fails), and the tool's own handle lets no other process write it, so a
// view's pages stay readable as long as it lives.
#include "platform/failure.hpp"
#include "platform/file.hpp"

#include <windows.h>

std::uint32_t platform_map_granularity() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwAllocationGranularity;
}

bool platform_map(FileHandle file, std::uint64_t offset, std::uint32_t length, std::uint64_t least,
                  FileMap* map) {
    auto handle = reinterpret_cast<HANDLE>(file.handle);
    auto refuse = [least](DWORD code) { return least > 0 && platform_note_failure(code); };
    LARGE_INTEGER value;
    if (GetFileType(handle) != FILE_TYPE_DISK) return refuse(ERROR_INVALID_FUNCTION);
    if (!GetFileSizeEx(handle, &value)) return refuse(GetLastError());
    auto size = static_cast<std::uint64_t>(value.QuadPart);
    if (size < offset + (least > 0 ? least : 1)) return refuse(ERROR_HANDLE_EOF);
    if (size - offset < length) length = static_cast<std::uint32_t>(size - offset);
    // The mapping object lives on in the view it gives.
    HANDLE mapping = CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return refuse(GetLastError());
    void* p = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                            static_cast<DWORD>(offset & 0xffffffffu), length);
    DWORD code = GetLastError();
    CloseHandle(mapping);
    if (!p) return refuse(code);
    map->bytes = static_cast<const std::uint8_t*>(p);
    map->offset = offset;
    map->length = length;
    map->file_size = size;
    map->slot = 0;
    return true;
}

bool platform_map_intact(const FileMap&) { return true; }

void platform_unmap(FileMap& map) {
    if (map.bytes) UnmapViewOfFile(map.bytes);
    map = FileMap{};
}
