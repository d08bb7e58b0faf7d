// The text summary of --stats.
#include "headers/headers.hpp"
#include "stats/stats.hpp"
#include "stats/stats_messages.hpp"

namespace {

using ull = unsigned long long;

}  // namespace

void format_profile(const FirstSequence& q, char* text, std::size_t size) {
    unsigned pli = q.profile_and_level_indication;
    if (!q.mpeg2)
        std::snprintf(text, size, "MPEG-1");
    else if (pli & 0x80)
        std::snprintf(text, size, "%s", escape_profile_name(pli));
    else
        std::snprintf(text, size, "%s@%s", profile_name((pli >> 4) & 7), level_name(pli & 0x0F));
}

void format_sequence(const FirstSequence& q, char* text, std::size_t size) {
    char profile[32];
    format_profile(q, profile, sizeof profile);
    float frame_rate = static_cast<float>(frame_rate_value(q.frame_rate_code) *
                                          (q.frame_rate_extension_n + 1) /
                                          (q.frame_rate_extension_d + 1));
    char rate[32];
    format_two_decimals(frame_rate, rate, sizeof rate);
    std::snprintf(text, size, "%s %ux%u (%s) %sfps/nominal bitrate=%llubps/VBV buffer=%u", profile,
                  static_cast<unsigned>(q.horizontal_size), static_cast<unsigned>(q.vertical_size),
                  aspect_ratio_name(q.aspect_ratio_information), rate,
                  static_cast<ull>(q.bit_rate) * 400, static_cast<unsigned>(q.vbv_buffer_size));
}

void format_frames(std::uint64_t halves, char* text, std::size_t size) {
    std::snprintf(text, size, "%llu%s", static_cast<ull>(halves / 2), halves % 2 ? ".5" : "");
}

void print_stats_text(std::FILE* out, const StatsState& s, const StatsFigures& f) {
    char text[160];
    if (s.first.seen) {
        format_sequence(s.first, text, sizeof text);
        std::fprintf(out, stats_msg::first_sequence, text);
    } else {
        std::fputs(stats_msg::no_sequence, out);
    }
    format_time(static_cast<double>(f.duration_ticks) / TICKS_PER_SECOND, text, sizeof text);
    std::fprintf(out, stats_msg::duration, text);
    std::fprintf(out, stats_msg::sequences, static_cast<ull>(s.sequences));
    if (s.gops > 0) {
        char shortest[32];
        char longest[32];
        format_frames(s.gop_halves_min, shortest, sizeof shortest);
        format_frames(s.gop_halves_max, longest, sizeof longest);
        std::fprintf(out, stats_msg::gops_detail, static_cast<ull>(s.gops), shortest, longest,
                     static_cast<ull>(s.closed_gops));
    }
    else
        std::fprintf(out, stats_msg::gops, 0ull);
    const std::uint64_t* t = s.pictures_by_type;
    std::fprintf(out, stats_msg::pictures, static_cast<ull>(f.pictures), static_cast<ull>(t[1]),
                 static_cast<ull>(t[2]), static_cast<ull>(t[3]), static_cast<ull>(t[4]));
    std::fprintf(out, stats_msg::field_pictures, static_cast<ull>(s.field_pictures));
    ull repeats = s.repeat_first_field_pictures;
    if (!f.pulldown)
        std::fprintf(out, stats_msg::repeat_first_field, repeats);
    else if (f.pulldown_breaks == 0)
        std::fprintf(out, stats_msg::repeat_pulldown, repeats);
    else
        std::fprintf(out, stats_msg::repeat_pulldown_breaks, repeats,
                     static_cast<ull>(f.pulldown_breaks));

    std::fprintf(out, stats_msg::average_rate, static_cast<ull>(f.average_bit_rate));
    bool short_window = f.max_second_window_ticks < TICKS_PER_SECOND;
    std::uint64_t named = short_window ? f.max_second_window_ticks : f.max_second_start_ticks;
    format_time(static_cast<double>(named) / TICKS_PER_SECOND, text, sizeof text);
    std::fprintf(out, short_window ? stats_msg::peak_short : stats_msg::peak_second,
                 static_cast<ull>(f.max_bit_rate_per_second), text);
    if (f.has_gop_rate)
        std::fprintf(out, stats_msg::peak_gop, static_cast<ull>(f.max_bit_rate_per_gop));
    else
        std::fputs(stats_msg::no_gop_rate, out);
    std::fprintf(out, stats_msg::nominal_rate, static_cast<ull>(f.nominal_bit_rate));
    std::fprintf(out, stats_msg::vbv_size, static_cast<ull>(f.vbv_buffer_bits));
    format_time(f.vbv.start_delay, text, sizeof text);
    std::fprintf(out, stats_msg::start_delay, text);
    if (f.vbv.underflow) {
        format_time(f.vbv.first_time, text, sizeof text);
        std::fprintf(out, stats_msg::underflows, static_cast<ull>(f.vbv.underflows),
                     static_cast<ull>(f.vbv.first_offset), text);
    } else {
        std::fputs(stats_msg::no_underflow, out);
    }
    if (f.has_min_rate)
        std::fprintf(out, stats_msg::lowest_rate, static_cast<ull>(f.min_nominal_bit_rate));
    else if (f.pictures == 0)
        std::fputs(stats_msg::no_pictures, out);
    else if (f.picture_above_buffer)
        std::fputs(stats_msg::no_rate_picture, out);
    else
        std::fputs(stats_msg::no_rate, out);
}
