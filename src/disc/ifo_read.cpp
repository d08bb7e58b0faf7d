// Reading an IFO or BUP file whole, through the platform's file operations.
#include <cstdint>

#include "disc/ifo.hpp"
#include "platform/file.hpp"

IfoFault ifo_load(const std::string& path, std::vector<std::uint8_t>* bytes, int* error) {
    bytes->clear();
    *error = 0;
    FileHandle file;
    if (!platform_open(path.c_str(), FileAccess::READ, &file)) {
        *error = platform_last_error();
        return IfoFault::OPEN_FAILED;
    }
    std::int64_t size = 0;
    IfoFault fault = IfoFault::NONE;
    if (!platform_size(file, &size)) {
        fault = IfoFault::READ_FAILED;
    } else if (size < 0 || static_cast<std::uint64_t>(size) > IFO_MAX_SIZE) {
        fault = IfoFault::TOO_LARGE;
    } else {
        bytes->resize(static_cast<std::size_t>(size));
        std::size_t done = 0;
        while (done < bytes->size()) {
            std::uint32_t got = 0;
            std::uint32_t want = static_cast<std::uint32_t>(bytes->size() - done);
            if (!platform_read(file, bytes->data() + done, want, &got)) {
                fault = IfoFault::READ_FAILED;
                break;
            }
            if (got == 0) break;  // shorter than its size said: parse what is there
            done += got;
        }
        bytes->resize(done);
    }
    if (fault == IfoFault::READ_FAILED) *error = platform_last_error();
    platform_close(file);
    if (fault != IfoFault::NONE) bytes->clear();
    return fault;
}

IfoVmg ifo_read_vmg(const std::string& path) {
    IfoVmg vmg;
    vmg.file = path;
    if (path.empty()) return vmg;  // MISSING
    std::vector<std::uint8_t> bytes;
    vmg.fault = ifo_load(path, &bytes, &vmg.error);
    if (vmg.fault != IfoFault::NONE) return vmg;
    return ifo_parse_vmg(bytes.data(), bytes.size(), path);
}

IfoVts ifo_read_vts(const std::string& path, unsigned title_set) {
    IfoVts vts;
    vts.file = path;
    vts.title_set = title_set;
    if (path.empty()) return vts;  // MISSING
    std::vector<std::uint8_t> bytes;
    vts.fault = ifo_load(path, &bytes, &vts.error);
    if (vts.fault != IfoFault::NONE) return vts;
    return ifo_parse_vts(bytes.data(), bytes.size(), path, title_set);
}
