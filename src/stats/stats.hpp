// Statistics of a stream: what one pass of the scanner gathers, and the
// figures worked out from it (rates, the VBV check, the lowest safe rate).
//
// Times are counted in ticks of 1/2 880 000 s: every field period of every
// frame_rate_code, with any frame-rate extension, is a whole number of ticks
// (a field at 24000/1001 frames/s is 60 060 ticks, at 25 frames/s 57 600),
// so durations add up exactly over files of any length. At a nominal rate of
// q units of 400 bit/s the VBV receives q / 7200 bits per tick: its fullness
// is kept in units of 1/7200 bit, and every step of it is an integer too.
#pragma once

#include "json/json_envelope.hpp"

#include <cstdint>
#include <cstdio>

#include "headers/header_sink.hpp"
#include "scan/stream_context.hpp"

inline constexpr std::uint64_t TICKS_PER_SECOND = 2880000;
inline constexpr std::uint64_t BIT_RATE_UNIT = 400;  // bit/s per unit of bit_rate
inline constexpr std::int64_t FULLNESS_PER_BIT = TICKS_PER_SECOND / BIT_RATE_UNIT;  // 7200
// The largest nominal rate the headers can code, in units of 400 bit/s:
// 18 bits of bit_rate_value and 12 of bit_rate_extension.
inline constexpr std::uint32_t MAX_BIT_RATE_UNITS = (1u << 30) - 1;

// One picture in 8 bytes: its size in bytes (31 bits, a larger picture is
// kept as 2^31 - 1 bytes, larger than any VBV buffer anyway) with the top bit
// set on the first picture of a GOP, and its display duration in ticks.
struct PictureEntry {
    std::uint32_t size_and_gop_start;
    std::uint32_t duration;
};
inline constexpr std::uint32_t GOP_START_BIT = 0x80000000u;
inline constexpr std::uint32_t MAX_PICTURE_SIZE = 0x7FFFFFFFu;

inline std::uint64_t picture_bits(PictureEntry p) {
    return std::uint64_t{p.size_and_gop_start & MAX_PICTURE_SIZE} * 8;
}

// The pictures in blocks of fixed size: memory grows by 8 bytes a picture,
// and no block is ever copied.
struct PictureLog {
    static constexpr std::uint32_t BLOCK = 1u << 16;
    PictureEntry** blocks = nullptr;
    std::uint64_t block_count = 0;
    std::uint64_t block_capacity = 0;
    std::uint64_t count = 0;
};
bool picture_log_push(PictureLog& log, PictureEntry entry);  // false: out of memory
inline PictureEntry picture_at(const PictureLog& log, std::uint64_t i) {
    return log.blocks[i / PictureLog::BLOCK][i % PictureLog::BLOCK];
}
void picture_log_free(PictureLog& log);

// The first sequence, as its report line shows it.
struct FirstSequence {
    bool seen = false;
    bool mpeg2 = false;
    unsigned profile_and_level_indication = 0;
    std::uint32_t horizontal_size = 0, vertical_size = 0;
    unsigned aspect_ratio_information = 0, frame_rate_code = 0;
    unsigned frame_rate_extension_n = 0, frame_rate_extension_d = 0;
    std::uint32_t bit_rate = 0;         // units of 400 bit/s
    std::uint32_t vbv_buffer_size = 0;  // units of 16384 bits
    friend bool operator==(const FirstSequence&, const FirstSequence&) = default;
};

// "MP@ML 720x480 (4:3) 29.97fps/nominal bitrate=8000000bps/VBV buffer=112",
// as the sequence report line reads.
void format_sequence(const FirstSequence& q, char* text, std::size_t size);
// Its first word: "MP@ML", "MPEG-1", or the name of an escaped profile.
void format_profile(const FirstSequence& q, char* text, std::size_t size);

// The displayed order of one GOP's frame flags, and the 3:2 cadence check
// across the whole stream.
struct Cadence {
    std::uint8_t by_temporal_reference[1024] = {};  // 0: none; see stats_sink.cpp
    bool have_previous = false;
    std::uint8_t previous = 0;
    std::uint64_t steps = 0;    // pairs of consecutive displayed pictures
    std::uint64_t follows = 0;  // of them, pairs in the 3:2 pattern
};

// Whether pictures shown one after the other follow the 3:2 pattern: named
// when some repeat a field and nine in ten of the `steps` between them are
// `follows` of the pattern.
bool follows_pulldown_cadence(std::uint64_t repeats, std::uint64_t steps, std::uint64_t follows);

struct StatsState {
    PictureLog log;
    bool out_of_memory = false;
    FirstSequence first;

    std::uint64_t sequences = 0, gops = 0, closed_gops = 0;
    std::uint64_t pictures_by_type[5] = {};  // [picture_coding_type], 0: other
    std::uint64_t field_pictures = 0, repeat_first_field_pictures = 0;
    // GOP lengths in half frames: a frame picture 2, a field picture 1.
    std::uint64_t gop_halves = 0;  // in the open GOP
    std::uint64_t gop_halves_min = 0, gop_halves_max = 0;

    // Where the next picture's bits begin: its first header.
    bool have_next_start = false;
    std::uint64_t next_start = 0;
    bool next_opens_gop = false;
    // The picture whose bits are being counted.
    bool have_picture = false;
    std::uint64_t picture_start = 0;
    std::uint64_t first_picture_start = 0;
    std::uint32_t picture_flags = 0;  // see stats_sink.cpp
    std::uint32_t field_ticks = 0;    // of the open picture's sequence
    // Pictures before the first sequence header (a capture cut mid-GOP)
    // take the frame period of the first one that follows: until it comes,
    // their log entries hold their flags instead of a duration.
    bool picture_before_sequence = false;  // the open picture is one
    std::uint64_t leading_pictures = 0;    // logged, waiting for a duration
    unsigned temporal_reference = 0;
    std::uint64_t total_bytes = 0;  // of all pictures, uncapped
    std::uint64_t logged_bits = 0;  // of all pictures, as the log keeps them
    Cadence cadence;
};

// The figures, worked out once the scan has ended.
struct VbvCheck {
    std::uint64_t underflows = 0;
    bool underflow = false;
    std::uint64_t first_index = 0;        // the first picture that underflows
    std::uint64_t first_offset = 0;       // where its bits begin
    double first_time = 0;                // its decode time, seconds
    double start_delay = 0;               // the first decode's time, seconds
};

struct StatsFigures {
    std::uint64_t duration_ticks = 0;
    std::uint64_t pictures = 0;
    std::uint64_t average_bit_rate = 0;
    std::uint64_t max_bit_rate_per_second = 0;
    std::uint64_t max_second_start_ticks = 0;
    // The time that window covers: a second, or the whole of a shorter stream.
    std::uint64_t max_second_window_ticks = 0;
    bool has_gop_rate = false;
    std::uint64_t max_bit_rate_per_gop = 0;
    std::uint64_t nominal_bit_rate = 0;  // bit/s
    std::uint64_t vbv_buffer_bits = 0;
    VbvCheck vbv;
    bool has_min_rate = false;
    std::uint64_t min_nominal_bit_rate = 0;  // bit/s
    bool picture_above_buffer = false;
    bool pulldown = false;                  // the flags follow the 3:2 pattern
    std::uint64_t pulldown_breaks = 0;
};

// The sink of the statistics pass; its state is a StatsState.
extern const HeaderSink stats_sink;
// The same, without layer warnings: a pass before a rewrite that prints them.
extern const HeaderSink stats_quiet_sink;

// Ends the pass: the last picture takes the bytes up to `end_offset`.
void stats_finish(const StreamContext& ctx, StatsState& s, std::uint64_t end_offset);
void stats_free(StatsState& s);
StatsFigures stats_figures(const StatsState& s);

// The VBV of a run at q units of 400 bit/s with a buffer of `buffer_bits`.
// With stop_at_first, it stops at the first underflow.
struct VbvStep {  // one decode, for the plot
    double time;            // seconds
    double before, after;   // fullness in bits around the removal
    bool underflow;
};
VbvCheck vbv_check(const StatsState& s, std::uint64_t q, std::uint64_t buffer_bits,
                   bool stop_at_first, void (*on_step)(void*, const VbvStep&) = nullptr,
                   void* step_state = nullptr);
// The lowest q from 1 to MAX_BIT_RATE_UNITS without an underflow; false when
// even the largest has one.
bool lowest_safe_rate(const StatsState& s, std::uint64_t buffer_bits, std::uint64_t* q);

// Rates over [k, k+1) s and over each GOP, handed one by one in time order:
// (start ticks, end ticks, bit/s). The last second ends where the stream
// does (its last picture may be shown a little past the second), and its
// rate is over the time it covers.
void each_second_rate(const StatsState& s, void (*f)(void*, std::uint64_t, std::uint64_t, std::uint64_t),
                      void* state);
void each_gop_rate(const StatsState& s, void (*f)(void*, std::uint64_t, std::uint64_t, std::uint64_t),
                   void* state);

// Outputs.
void print_stats_text(std::FILE* out, const StatsState& s, const StatsFigures& f);
// {"file": ..., the figures (none when `s` or `f` is null), "status": ...}
void print_stats_json(std::FILE* out, JsonLayout layout, const char* file, RunStatus status,
                      const StatsState* s, const StatsFigures* f);
bool write_stats_plot(std::FILE* svg, const StatsState& s, const StatsFigures& f);

// a * b / c, rounded down, without overflow in between.
std::uint64_t mul_div(std::uint64_t a, std::uint64_t b, std::uint64_t c);

// h:mm:ss.mmm
void format_time(double seconds, char* text, std::size_t size);

// A count of half frames as frames: "15", "14.5".
void format_frames(std::uint64_t halves, char* text, std::size_t size);
