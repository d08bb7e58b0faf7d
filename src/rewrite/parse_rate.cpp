#include "rewrite/parse_rate.hpp"

#include <cstring>

namespace {

constexpr std::uint64_t RATE_LIMIT = std::uint64_t{1} << 40;

}  // namespace

bool parse_rate(const char* text, std::uint64_t* bits_per_second) {
    // The number as digits / 10^decimals.
    std::uint64_t digits = 0;
    std::uint64_t scale = 1;  // 10^decimals
    unsigned whole_digits = 0;
    unsigned fraction_digits = 0;
    bool in_fraction = false;
    const char* s = text;
    for (;; ++s) {
        if (*s >= '0' && *s <= '9') {
            digits = digits * 10 + static_cast<unsigned>(*s - '0');
            if (in_fraction) {
                scale *= 10;
                ++fraction_digits;
            } else {
                ++whole_digits;
            }
            if (digits > RATE_LIMIT * 1000000 || scale > 1000000) return false;
        } else if (*s == '.' && !in_fraction) {
            in_fraction = true;
        } else {
            break;
        }
    }
    if (whole_digits == 0 || (in_fraction && fraction_digits == 0)) return false;
    std::uint64_t multiplier = 1;
    if (*s == 'k' || *s == 'K') multiplier = 1000;
    else if (*s == 'M') multiplier = 1000000;
    if (multiplier != 1) ++s;
    if (*s != '\0' && std::strcmp(s, "bps") != 0) return false;
    // digits * multiplier / scale, in whole bits only.
    if (digits > RATE_LIMIT * scale / multiplier + 1) return false;
    std::uint64_t scaled = digits * multiplier;
    if (scaled % scale != 0) return false;
    std::uint64_t rate = scaled / scale;
    if (rate > RATE_LIMIT) return false;
    *bits_per_second = rate;
    return true;
}
