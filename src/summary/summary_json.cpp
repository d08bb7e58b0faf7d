// --summary --json: the stream and its segments, each with its parameters
// as coded and as named, between the file's name and the run's status.
#include "demux/demux.hpp"
#include "headers/headers.hpp"
#include "json/json_report.hpp"
#include "summary/summary.hpp"

namespace {

// By SegmentCadence and by ClosedGops.
constexpr const char* cadence_names[] = {"interlaced", "progressive", "film"};
constexpr const char* closed_names[] = {"all", "some", "none"};

double seconds(std::uint64_t ticks) { return static_cast<double>(ticks) / TICKS_PER_SECOND; }

void put_parameters(JsonWriter& w, const SegmentParameters& p) {
    const FirstSequence& q = p.sequence;
    json_key(w, "mpeg2");
    json_bool(w, q.mpeg2);
    char text[32];
    format_profile(q, text, sizeof text);
    json_member_string(w, "profile_and_level", text);
    json_member_uint(w, "profile_and_level_indication", q.profile_and_level_indication);
    json_member_uint(w, "horizontal_size", q.horizontal_size);
    json_member_uint(w, "vertical_size", q.vertical_size);
    json_member_uint(w, "aspect_ratio_information", q.aspect_ratio_information);
    json_member_string(w, "aspect_ratio", aspect_ratio_name(q.aspect_ratio_information));
    json_member_uint(w, "frame_rate_code", q.frame_rate_code);
    json_member_uint(w, "frame_rate_extension_n", q.frame_rate_extension_n);
    json_member_uint(w, "frame_rate_extension_d", q.frame_rate_extension_d);
    json_key(w, "frame_rate");
    json_fixed(w, frame_rate_value(q.frame_rate_code) * (q.frame_rate_extension_n + 1) /
                      (q.frame_rate_extension_d + 1), 3);
    json_member_uint(w, "progressive_sequence", p.progressive_sequence);
    json_member_uint(w, "chroma_format", p.chroma_format);
    json_member_string(w, "chroma", chroma_format_name(p.chroma_format));
    json_member_uint(w, "nominal_bit_rate", std::uint64_t{q.bit_rate} * BIT_RATE_UNIT);
    json_member_uint(w, "vbv_buffer_size", q.vbv_buffer_size);
    json_member_uint(w, "low_delay", p.low_delay);
}

void put_segment(JsonWriter& w, const Segment& g) {
    json_begin_object(w);
    json_key(w, "start");
    json_fixed(w, seconds(g.start_ticks), 6);
    json_key(w, "end");
    json_fixed(w, seconds(g.end_ticks), 6);
    json_member_uint(w, "offset", g.first_offset);
    json_key(w, "sequence_header");
    json_bool(w, g.parameters.sequence.seen);
    if (g.parameters.sequence.seen) put_parameters(w, g.parameters);
    json_member_string(w, "cadence", cadence_names[static_cast<unsigned>(g.cadence)]);
    json_member_uint(w, "gops", g.gops);
    json_key(w, "gop_length");  // frames, a field picture counting as half
    if (!g.gops) json_null(w);
    else if (g.gop_halves % 2) json_fixed(w, static_cast<double>(g.gop_halves) / 2, 1);
    else json_uint(w, g.gop_halves / 2);
    json_key(w, "anchor_distance");
    if (g.anchor_distance) json_uint(w, g.anchor_distance);
    else json_null(w);
    json_member_uint(w, "closed_gops", g.closed_gops);
    json_member_string(w, "closed", closed_names[static_cast<unsigned>(g.closed)]);
    const std::uint64_t* t = g.pictures_by_type;
    json_member_uint(w, "pictures", t[0] + t[1] + t[2] + t[3] + t[4]);
    json_key(w, "picture_types");
    json_begin_object(w);
    json_member_uint(w, "I", t[1]);
    json_member_uint(w, "P", t[2]);
    json_member_uint(w, "B", t[3]);
    json_member_uint(w, "D", t[4]);
    json_end_object(w);
    json_member_uint(w, "field_pictures", g.field_pictures);
    json_member_uint(w, "repeat_first_field_pictures", g.repeat_first_field_pictures);
    json_member_uint(w, "bytes", g.bytes);
    json_key(w, "average_bit_rate");
    if (g.end_ticks > g.start_ticks) json_uint(w, g.average_bit_rate);
    else json_null(w);
    json_end_object(w);
}

}  // namespace

void print_summary_json(std::FILE* out, JsonLayout layout, const char* file, const Demuxer* demux,
                        RunStatus status, const SummaryState* s) {
    JsonWriter w;
    json_envelope_open(w, out, layout, file);
    if (demux && demux->container != Container::ELEMENTARY) {
        json_stream_member(w, *demux);
    } else {
        json_key(w, "stream");
        json_null(w);
    }
    if (s) {
        json_key(w, "segments");
        json_begin_array(w);
        for (std::uint64_t i = 0; i < s->segment_count; ++i) put_segment(w, s->segments[i]);
        json_end_array(w);
    }
    json_envelope_status(w, JsonDocument::SUMMARY, status);
    json_envelope_close(w);
}
