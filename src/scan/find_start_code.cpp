#include "scan/find_start_code.hpp"

std::size_t find_start_code(const std::uint8_t* data, std::size_t from,
                            std::size_t limit) {
    for (std::size_t i = from; i < limit; ++i) {
        if (data[i + 2] > 1) {
            i += 2;  // no prefix can start at i, i + 1 or i + 2
        } else if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            return i;
        }
    }
    return limit;
}
