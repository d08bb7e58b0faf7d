// The VBV check and the search for the lowest safe nominal rate.
//
// The model: the buffer fills at the nominal rate whenever it is not full
// and until the whole stream has entered it; the first picture is decoded at
// the earliest of three moments: the buffer is full, the whole stream has
// entered, or one second has passed since the first bit entered (no decoder
// holds data longer than that). Each next picture is decoded one display
// duration after the one before, and a picture's bits all leave the buffer
// at its decode time. A picture whose bits are not all in the buffer then
// underflows; its bits leave anyway, the fullness goes below zero and the
// bits still owed arrive first.
//
// Fullness is in units of 1/7200 bit and time in ticks of 1/2 880 000 s, so
// q units of 400 bit/s add exactly q units a tick. The buffer never holds
// more than the bits of the pictures not yet decoded, so "full or the whole
// stream entered" is the one limit L = min(buffer, bits still to decode).
//
// Why "no underflow" rises with q. The fullness before the first decode is
// F0 = min(L0, q * 1 s): the start now depends on q (a higher rate fills the
// buffer sooner and decodes earlier), but what is in the buffer at that
// moment never falls when q rises. Each next step is
// F' = min(L, F - bits + q * duration), non-decreasing in F and in q. So by
// induction every fullness before a decode is non-decreasing in q: an
// earlier start never costs bits, since the decode times that follow are
// counted from the start and the buffer receives as much per duration at
// any start. "No underflow" therefore holds from some q on, and bisection
// finds that q. The underflow count falls with q but not strictly: it stays
// flat over ranges of q.
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
    if (q == 0) {  // nothing ever enters: every picture underflows, from one second on
        r.underflows = n;
        r.underflow = true;
        r.first_offset = s.first_picture_start;
        r.first_time = r.start_delay = 1;
        return r;
    }
    if (buffer_bits > (std::uint64_t{1} << 32)) buffer_bits = std::uint64_t{1} << 32;
    std::uint64_t pending = s.logged_bits;
    // The first decode: the buffer full or the stream all in, or one second
    // after the first bit, whichever comes first (q < 2^30: no overflow).
    std::int64_t fullness = limit_of(pending, buffer_bits);
    auto one_second = static_cast<std::int64_t>(q * TICKS_PER_SECOND);
    if (one_second < fullness) fullness = one_second;
    double start = static_cast<double>(fullness) / static_cast<double>(q);
    r.start_delay = start / TICKS_PER_SECOND;
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
