// The VBV check and the search for the lowest safe nominal rate.
//
// The model: the buffer fills at the nominal rate whenever it is not full
// and until the whole stream has entered it; the first picture is decoded
// once the buffer is full (or holds the whole stream), each next picture one
// display duration after the one before, and a picture's bits all leave the
// buffer at its decode time. A picture whose bits are not all in the buffer
// then underflows; its bits leave anyway, the fullness goes below zero and
// the bits still owed arrive first.
//
// Fullness is in units of 1/7200 bit and time in ticks of 1/2 880 000 s, so
// q units of 400 bit/s add exactly q units a tick. The buffer never holds
// more than the bits of the pictures not yet decoded, so "full or the whole
// stream entered" is the one limit min(buffer, bits still to decode).
//
// Fullness before each decode never falls when q rises (each step is
// min(limit, F + q * duration) - picture bits, non-decreasing in F and in
// q, from the same start), so "no underflow" holds from some q on and
// bisection finds that q. The underflow count falls with q but not
// strictly: it stays flat over ranges of q.
#include "stats/stats.hpp"

namespace {

constexpr std::int64_t FULLNESS_FLOOR = -(std::int64_t{1} << 62);

std::int64_t limit_of(std::uint64_t pending_bits, std::uint64_t buffer_bits) {
    std::uint64_t bits = pending_bits < buffer_bits ? pending_bits : buffer_bits;
    return static_cast<std::int64_t>(bits) * FULLNESS_PER_BIT;
}

}  // namespace

std::uint64_t mul_div(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    __extension__ typedef unsigned __int128 wide;
    if (c == 0) return 0;
    wide r = static_cast<wide>(a) * b / c;
    return r > UINT64_MAX ? UINT64_MAX : static_cast<std::uint64_t>(r);
}

VbvCheck vbv_check(const StatsState& s, std::uint64_t q, std::uint64_t buffer_bits,
                   bool stop_at_first, void (*on_step)(void*, const VbvStep&), void* step_state) {
    VbvCheck r;
    std::uint64_t n = s.log.count;
    if (n == 0) return r;
    if (q == 0) {  // nothing ever enters: every picture underflows at once
        r.underflows = n;
        r.underflow = true;
        r.first_offset = s.first_picture_start;
        return r;
    }
    if (buffer_bits > (std::uint64_t{1} << 32)) buffer_bits = std::uint64_t{1} << 32;
    std::uint64_t pending = s.logged_bits;
    std::int64_t fullness = limit_of(pending, buffer_bits);
    // The first decode, once the buffer has filled from empty.
    double start = static_cast<double>(fullness) / static_cast<double>(q);
    std::uint64_t elapsed = 0;  // ticks since the first decode
    std::uint64_t offset = s.first_picture_start;
    for (std::uint64_t i = 0; i < n; ++i) {
        PictureEntry p = picture_at(s.log, i);
        std::uint64_t bits = picture_bits(p);
        std::int64_t need = static_cast<std::int64_t>(bits) * FULLNESS_PER_BIT;
        bool under = fullness < need;
        double time = (start + static_cast<double>(elapsed)) / TICKS_PER_SECOND;
        if (under) {
            if (!r.underflow) {
                r.underflow = true;
                r.first_index = i;
                r.first_offset = offset;
                r.first_time = time;
            }
            ++r.underflows;
        }
        std::int64_t before = fullness;
        fullness -= need;
        if (fullness < FULLNESS_FLOOR) fullness = FULLNESS_FLOOR;
        pending -= bits;
        if (on_step)
            on_step(step_state, VbvStep{time, static_cast<double>(before) / FULLNESS_PER_BIT,
                                        static_cast<double>(fullness) / FULLNESS_PER_BIT, under});
        if (under && stop_at_first) return r;
        offset += p.size_and_gop_start & MAX_PICTURE_SIZE;

        // Fill until the next decode; room is never negative (the limit
        // falls by no more than the bits just removed).
        std::int64_t limit = limit_of(pending, buffer_bits);
        std::uint64_t room = static_cast<std::uint64_t>(limit - fullness);
        std::uint64_t fill = q * p.duration;  // below 2^62
        fullness = fill >= room ? limit : fullness + static_cast<std::int64_t>(fill);
        elapsed += p.duration;
    }
    return r;
}

bool lowest_safe_rate(const StatsState& s, std::uint64_t buffer_bits, std::uint64_t* q) {
    for (std::uint64_t i = 0; i < s.log.count; ++i)
        if (picture_bits(picture_at(s.log, i)) > buffer_bits) return false;
    std::uint64_t safe = MAX_BIT_RATE_UNITS;
    if (vbv_check(s, safe, buffer_bits, true).underflow) return false;
    std::uint64_t unsafe = 0;  // no rate fills the buffer
    while (safe - unsafe > 1) {
        std::uint64_t middle = unsafe + (safe - unsafe) / 2;
        if (vbv_check(s, middle, buffer_bits, true).underflow) unsafe = middle;
        else safe = middle;
    }
    *q = safe;
    return true;
}
