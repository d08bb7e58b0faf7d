// --stats --json: the summary's figures as one JSON object, with the
// per-second and per-GOP rates behind them, between the file's name and the
// run's status. A run that fails still writes the object: the figures of
// what it measured, or none when it measured nothing.
#include "json/json_envelope.hpp"
#include "stats/stats.hpp"

namespace {

void put_rate(void* state, std::uint64_t, std::uint64_t, std::uint64_t rate) {
    json_uint(*static_cast<JsonWriter*>(state), rate);
}

// Half frames as frames: a whole number, or one with ".5".
void json_frames(JsonWriter& w, std::uint64_t halves) {
    if (halves % 2 == 0) json_uint(w, halves / 2);
    else json_fixed(w, static_cast<double>(halves) / 2, 1);
}

void keep_span(void* state, std::uint64_t start, std::uint64_t end, std::uint64_t) {
    *static_cast<std::uint64_t*>(state) = end - start;
}

double seconds(std::uint64_t ticks) { return static_cast<double>(ticks) / TICKS_PER_SECOND; }

// Every figure, as members of the open object.
void put_figures(JsonWriter& w, const StatsState& s, const StatsFigures& f) {
    json_key(w, "duration");
    json_fixed(w, seconds(f.duration_ticks), 6);
    json_member_uint(w, "sequences", s.sequences);
    json_member_uint(w, "gops", s.gops);
    json_member_uint(w, "pictures", f.pictures);
    json_key(w, "picture_types");
    json_begin_object(w);
    json_member_uint(w, "I", s.pictures_by_type[1]);
    json_member_uint(w, "P", s.pictures_by_type[2]);
    json_member_uint(w, "B", s.pictures_by_type[3]);
    json_member_uint(w, "D", s.pictures_by_type[4]);
    json_end_object(w);
    json_member_uint(w, "average_bit_rate", f.average_bit_rate);
    json_member_uint(w, "max_bit_rate_per_second", f.max_bit_rate_per_second);
    json_key(w, "max_bit_rate_per_gop");
    if (f.has_gop_rate) json_uint(w, f.max_bit_rate_per_gop);
    else json_null(w);
    json_member_uint(w, "nominal_bit_rate", f.nominal_bit_rate);
    json_member_uint(w, "vbv_buffer_size", f.vbv_buffer_bits);
    json_member_uint(w, "vbv_underflows", f.vbv.underflows);
    json_key(w, "first_underflow_offset");
    if (f.vbv.underflow) json_uint(w, f.vbv.first_offset);
    else json_null(w);
    json_key(w, "min_nominal_bit_rate");
    if (f.has_min_rate) json_uint(w, f.min_nominal_bit_rate);
    else json_null(w);

    // What the text summary shows besides.
    json_key(w, "first_underflow_time");
    if (f.vbv.underflow) json_fixed(w, f.vbv.first_time, 6);
    else json_null(w);
    json_key(w, "vbv_start_delay");
    json_fixed(w, f.vbv.start_delay, 6);
    json_key(w, "max_bit_rate_per_second_time");
    json_fixed(w, seconds(f.max_second_start_ticks), 6);
    // 1 s, or less for a stream shorter than a second.
    json_key(w, "max_bit_rate_per_second_window");
    json_fixed(w, seconds(f.max_second_window_ticks), 6);
    // What the last entry of bit_rate_per_second covers: the stream ends in it.
    std::uint64_t last_span = 0;
    each_second_rate(s, keep_span, &last_span);
    json_key(w, "bit_rate_per_second_last_window");
    if (s.log.count > 0) json_fixed(w, seconds(last_span), 6);
    else json_null(w);
    json_member_uint(w, "closed_gops", s.closed_gops);
    // In frames, a field picture counting as half: 15, or 14.5.
    json_key(w, "gop_length_min");
    json_frames(w, s.gop_halves_min);
    json_key(w, "gop_length_max");
    json_frames(w, s.gop_halves_max);
    json_member_uint(w, "field_pictures", s.field_pictures);
    json_member_uint(w, "repeat_first_field_pictures", s.repeat_first_field_pictures);
    json_key(w, "pulldown");
    if (f.pulldown) json_string(w, "3:2");
    else json_null(w);
    json_member_uint(w, "pulldown_breaks", f.pulldown_breaks);
    json_key(w, "bit_rate_per_second");
    json_begin_array(w);
    each_second_rate(s, put_rate, &w);
    json_end_array(w);
    json_key(w, "bit_rate_per_gop");
    json_begin_array(w);
    each_gop_rate(s, put_rate, &w);
    json_end_array(w);
}

}  // namespace

void print_stats_json(std::FILE* out, JsonLayout layout, const char* file, RunStatus status, const StatsState* state,
                      const StatsFigures* figures) {
    JsonWriter w;
    json_envelope_open(w, out, layout, file);
    if (state && figures) put_figures(w, *state, *figures);
    json_envelope_status(w, JsonDocument::FIGURES, status);
    json_envelope_close(w);
}
