// The summary as text: the stream's line, then one line per segment.
#include <cstring>

#include "headers/headers.hpp"
#include "summary/summary.hpp"
#include "summary/summary_messages.hpp"

namespace {

using ull = unsigned long long;

void print_segment(std::FILE* out, const Segment& g) {
    char start[32], end[32], parameters[256], n[32], m[32], rate[32];
    format_time(static_cast<double>(g.start_ticks) / TICKS_PER_SECOND, start, sizeof start);
    format_time(static_cast<double>(g.end_ticks) / TICKS_PER_SECOND, end, sizeof end);
    if (g.parameters.sequence.seen)
        format_parameters(g.parameters, parameters, sizeof parameters);
    else
        std::snprintf(parameters, sizeof parameters, "%s",
                      message_format(out, summary_msg::no_sequence_header));
    // "-" for what a segment without GOPs, anchors or time does not have.
    if (g.gops) format_frames(g.gop_halves, n, sizeof n);
    else std::snprintf(n, sizeof n, "-");
    if (g.anchor_distance) std::snprintf(m, sizeof m, "%llu", static_cast<ull>(g.anchor_distance));
    else std::snprintf(m, sizeof m, "-");
    if (g.end_ticks > g.start_ticks)
        std::snprintf(rate, sizeof rate, "%llu", static_cast<ull>(g.average_bit_rate));
    else std::snprintf(rate, sizeof rate, "-");
    const std::uint64_t* t = g.pictures_by_type;
    print_message(out, summary_msg::segment_line, start, end, parameters,
                  message_format(out, summary_msg::cadence[static_cast<unsigned>(g.cadence)]), n,
                  m, message_format(out, summary_msg::closed[static_cast<unsigned>(g.closed)]),
                  static_cast<ull>(t[1]), static_cast<ull>(t[2]), static_cast<ull>(t[3]),
                  static_cast<ull>(t[4]), rate);
}

}  // namespace

void format_parameters(const SegmentParameters& p, char* text, std::size_t size) {
    format_sequence(p.sequence, text, size);
    if (!p.sequence.mpeg2) return;
    std::size_t used = std::strlen(text);
    std::snprintf(text + used, size - used, summary_msg::mpeg2_parameters,
                  p.progressive_sequence ? "progressive" : "interlaced",
                  chroma_format_name(p.chroma_format), yes_no(p.low_delay));
}

void print_summary_text(std::FILE* out, const char* file, const char* stream_name,
                        const SummaryState& s) {
    if (stream_name[0]) print_message(out, summary_msg::stream_line, file, stream_name);
    else print_message(out, summary_msg::elementary_line, file);
    for (std::uint64_t i = 0; i < s.segment_count; ++i) print_segment(out, s.segments[i]);
    if (s.segment_count == 0) print_message(out, summary_msg::no_segment);
}
