// The summary of a stream: one line per segment, a segment being a run of
// sequences whose sequence parameters are all equal. It is a sink chained
// after the statistics sink, in the statistics' one pass: the statistics
// keep each picture's size and display duration, the summary where each
// segment begins in their log and what it counts of its own (picture
// types, GOPs, the frame flags), and at the end each segment's times, bytes
// and rate are read off the log.
#pragma once

#include <cstdint>
#include <cstdio>

#include "json/json_envelope.hpp"
#include "stats/stats.hpp"

// The sequence parameters that a segment keeps: MPEG-1 sequences (`mpeg2`
// false) have only those of the sequence header, the rest stay 0.
struct SegmentParameters {
    FirstSequence sequence;
    unsigned progressive_sequence = 0;
    unsigned chroma_format = 0;
    unsigned low_delay = 0;
    friend bool operator==(const SegmentParameters&, const SegmentParameters&) = default;
};

enum class SegmentCadence { INTERLACED, PROGRESSIVE, FILM };
enum class ClosedGops { ALL, SOME, NONE };

struct Segment {
    SegmentParameters parameters;  // sequence.seen false: no sequence header at all
    std::uint64_t first_picture = 0;    // its index in the statistics' picture log
    std::uint64_t first_offset = 0;     // the file offset of its first header
    std::uint64_t pictures_by_type[5] = {};  // [picture_coding_type], 0: other
    std::uint64_t gops = 0, closed_gops = 0;
    std::uint64_t gop_halves = 0;       // the most common GOP length, in half frames
    std::uint64_t anchor_distance = 0;  // the most common M; 0: fewer than two anchors
    std::uint64_t field_pictures = 0, interlaced_frames = 0, repeat_first_field_pictures = 0;
    // The statistics' 3:2 counts when its first picture came.
    std::uint64_t cadence_steps = 0, cadence_follows = 0;
    // Worked out at the end (summary_finish).
    std::uint64_t start_ticks = 0, end_ticks = 0, bytes = 0, average_bit_rate = 0;
    SegmentCadence cadence = SegmentCadence::INTERLACED;
    ClosedGops closed = ClosedGops::NONE;
};

inline constexpr unsigned GOP_LENGTH_BINS = 1024;  // half frames; longer ones share the last
inline constexpr unsigned ANCHOR_DISTANCE_BINS = 64;

struct SummaryState {
    const StatsState* stats = nullptr;  // the statistics sink's, earlier in the chain
    Segment* segments = nullptr;
    std::uint64_t segment_count = 0, segment_capacity = 0;
    bool out_of_memory = false;

    // The sequence being read, and whether it is waiting to be placed (at
    // the first GOP header or picture after its headers).
    SegmentParameters next;
    bool sequence_pending = false;
    std::uint64_t sequence_offset = 0;
    bool cadence_pending = false;  // the open segment has had no picture yet

    // The open picture, counted when the next header closes it.
    std::uint64_t pictures = 0;  // picture headers so far
    bool have_picture = false;
    unsigned picture_coding_type = 0;
    bool field = false, progressive_frame = true, repeat_first_field = false;
    bool field_pair_open = false;  // the next field picture is a second field

    // The open segment's GOPs and anchors.
    bool gop_open = false;
    std::uint64_t gop_halves = 0;
    bool have_anchor = false;
    std::uint64_t b_halves = 0;  // B pictures since the last anchor
    std::uint64_t gop_lengths[GOP_LENGTH_BINS] = {};
    std::uint64_t anchor_distances[ANCHOR_DISTANCE_BINS] = {};
};

// The sink; its state is a SummaryState whose `stats` is set.
extern const HeaderSink summary_sink;

// Ends the pass, once stats_finish has ended the statistics' one.
void summary_finish(SummaryState& s);
void summary_free(SummaryState& s);

// The segment's parameters as one text: the statistics' sequence line, and
// for MPEG-2 "/frame type=interlaced/chroma=4:2:0/low delay=no".
void format_parameters(const SegmentParameters& p, char* text, std::size_t size);

// The lines: `stream_name` empty for an elementary stream.
void print_summary_text(std::FILE* out, const char* file, const char* stream_name,
                        const SummaryState& s);
// {"file": ..., "stream": ..., "segments": [...] (none when `s` is null),
// "status": ...}
struct Demuxer;
void print_summary_json(std::FILE* out, JsonLayout layout, const char* file, const Demuxer* demux,
                        RunStatus status, const SummaryState* s);

// Measures the open file and prints its summary; the exit status.
int run_summary(StreamContext& ctx, bool json, const char* file_path);
