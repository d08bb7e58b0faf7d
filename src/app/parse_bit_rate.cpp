#include "app/run_program.hpp"

bool parse_bit_rate(const char* text, std::uint32_t* bit_rate) {
    const char* s = text;
    while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\v' || *s == '\f' ||
           *s == '\r')
        ++s;
    if (*s == '+') ++s;
    if (*s < '0' || *s > '9') return false;
    std::uint64_t value = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        value = value * 10 + static_cast<unsigned>(*s - '0');
        if (value > UINT32_MAX) return false;
    }
    if (*s != '\0') return false;
    *bit_rate = static_cast<std::uint32_t>(value);
    return true;
}
