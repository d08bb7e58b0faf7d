// The figures of the summary, worked out from the picture log.
//
// A picture's time is the sum of the display durations before it; the
// bits of [k, k+1) s are those of the pictures whose time falls in it, over
// that second, or for the last one over the time up to the stream's end,
// and a GOP's rate is its pictures' bits over their durations. All rates
// are in bit/s, rounded down.
#include <cstdio>

#include "stats/stats.hpp"

void each_second_rate(const StatsState& s, void (*f)(void*, std::uint64_t, std::uint64_t, std::uint64_t),
                      void* state) {
    std::uint64_t time = 0, second = 0, bits = 0;
    bool any = false;
    for (std::uint64_t i = 0; i < s.log.count; ++i) {
        PictureEntry p = picture_at(s.log, i);
        std::uint64_t k = time / TICKS_PER_SECOND;
        while (any && second < k) {  // also the empty seconds of very long pictures
            f(state, second * TICKS_PER_SECOND, (second + 1) * TICKS_PER_SECOND, bits);
            bits = 0;
            ++second;
        }
        any = true;
        second = k;
        bits += picture_bits(p);
        time += p.duration;
    }
    if (!any) return;
    // The last window ends with the stream: sooner than a second, or a
    // little later when its last picture is shown past the second.
    std::uint64_t start = second * TICKS_PER_SECOND;
    std::uint64_t end = time > start ? time : start + TICKS_PER_SECOND;
    f(state, start, end, mul_div(bits, TICKS_PER_SECOND, end - start));
}

void each_gop_rate(const StatsState& s, void (*f)(void*, std::uint64_t, std::uint64_t, std::uint64_t),
                   void* state) {
    std::uint64_t time = 0, start = 0, bits = 0;
    bool open = false;
    for (std::uint64_t i = 0; i <= s.log.count; ++i) {
        bool end = i == s.log.count;
        PictureEntry p = end ? PictureEntry{GOP_START_BIT, 0} : picture_at(s.log, i);
        if (p.size_and_gop_start & GOP_START_BIT) {
            if (open && time > start) f(state, start, time, mul_div(bits, TICKS_PER_SECOND, time - start));
            open = true;
            start = time;
            bits = 0;
        }
        bits += picture_bits(p);
        time += p.duration;
    }
}

namespace {

void keep_max_gop(void* state, std::uint64_t, std::uint64_t, std::uint64_t rate) {
    StatsFigures& f = *static_cast<StatsFigures*>(state);
    if (!f.has_gop_rate || rate > f.max_bit_rate_per_gop) f.max_bit_rate_per_gop = rate;
    f.has_gop_rate = true;
}

// The most bits in any one-second window [t, t + 1 s): the largest is found
// among the windows that start at a picture's time and end within the
// stream. A stream shorter than a second has one window, the whole stream,
// and its rate is that of the time it lasts.
void sliding_second(const StatsState& s, StatsFigures& f) {
    f.max_second_window_ticks = TICKS_PER_SECOND;
    if (s.log.count > 0 && f.duration_ticks < TICKS_PER_SECOND) {
        f.max_second_window_ticks = f.duration_ticks;
        f.max_bit_rate_per_second = f.average_bit_rate;
        return;
    }
    std::uint64_t end = 0, end_time = 0, bits = 0, start_time = 0;
    for (std::uint64_t i = 0; i < s.log.count; ++i) {
        // Later windows run past the end: each holds no more than the
        // last whole one.
        if (start_time + TICKS_PER_SECOND > f.duration_ticks) break;
        while (end < s.log.count && end_time < start_time + TICKS_PER_SECOND) {
            PictureEntry p = picture_at(s.log, end++);
            bits += picture_bits(p);
            end_time += p.duration;
        }
        if (bits > f.max_bit_rate_per_second || i == 0) {
            f.max_bit_rate_per_second = bits;
            f.max_second_start_ticks = start_time;
        }
        PictureEntry first = picture_at(s.log, i);
        bits -= picture_bits(first);
        start_time += first.duration;
    }
}

}  // namespace

StatsFigures stats_figures(const StatsState& s) {
    StatsFigures f;
    f.pictures = s.log.count;
    for (std::uint64_t i = 0; i < s.log.count; ++i) f.duration_ticks += picture_at(s.log, i).duration;
    f.average_bit_rate = mul_div(s.logged_bits, TICKS_PER_SECOND, f.duration_ticks);
    sliding_second(s, f);
    each_gop_rate(s, keep_max_gop, &f);

    f.nominal_bit_rate = std::uint64_t{s.first.bit_rate} * BIT_RATE_UNIT;
    f.vbv_buffer_bits = std::uint64_t{s.first.vbv_buffer_size} * 16384;
    f.vbv = vbv_check(s, s.first.bit_rate, f.vbv_buffer_bits, false);
    for (std::uint64_t i = 0; i < s.log.count; ++i)
        if (picture_bits(picture_at(s.log, i)) > f.vbv_buffer_bits) f.picture_above_buffer = true;
    std::uint64_t q = 0;
    if (s.log.count > 0 && lowest_safe_rate(s, f.vbv_buffer_bits, &q)) {
        f.has_min_rate = true;
        f.min_nominal_bit_rate = q * BIT_RATE_UNIT;
    }

    // The steps out of the pattern are breaks (edits, a start or an end).
    const Cadence& c = s.cadence;
    if (follows_pulldown_cadence(s.repeat_first_field_pictures, c.steps, c.follows)) {
        f.pulldown = true;
        f.pulldown_breaks = c.steps - c.follows;
    }
    return f;
}

bool follows_pulldown_cadence(std::uint64_t repeats, std::uint64_t steps, std::uint64_t follows) {
    return repeats > 0 && steps > 0 && follows * 10 >= steps * 9;
}

void format_time(double seconds, char* text, std::size_t size) {
    if (!(seconds >= 0)) seconds = 0;
    unsigned long long ms = static_cast<unsigned long long>(seconds * 1000 + 0.5);
    std::snprintf(text, size, "%llu:%02llu:%02llu.%03llu", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
}
