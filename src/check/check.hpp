// --check dvd|bluray: one pass of the statistics with every rule of the
// profile evaluated on the headers as they come, then the VBV rule on the
// pictures' sizes, and a report of the rules broken with the commands that
// fix what can be fixed in place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "check/fix_command.hpp"
#include "check/rules.hpp"
#include "headers/header_sink.hpp"
#include "scan/stream_context.hpp"
#include "stats/stats.hpp"

// What a printed fix does; `value` is its argument.
enum class FixKind : std::uint8_t { NONE, BIT_RATE, VBV_BUFFER_SIZE, ASPECT_RATIO, PULLDOWN };

// One rule's findings: how many times it broke, where first, and what was
// found there.
struct RuleFinding {
    std::uint64_t count = 0;
    std::uint64_t first_offset = 0;
    char found[128] = {};
    FixKind fix = FixKind::NONE;
    std::uint32_t fix_value = 0;
};

// A sequence header and its extension, as read from their syntax elements.
struct CheckedSequence {
    std::uint64_t offset = 0;  // of the sequence header
    bool mpeg2 = false;        // a sequence extension followed it
    std::uint64_t extension_offset = 0;
    unsigned horizontal_size = 0, vertical_size = 0;
    unsigned aspect_ratio_information = 0, frame_rate_code = 0;
    std::uint64_t bit_rate = 0;  // units of 400 bit/s
    unsigned vbv_buffer_size = 0;
    unsigned profile_and_level_indication = 0, progressive_sequence = 1, chroma_format = 1;
    unsigned low_delay = 0, frame_rate_extension_n = 0, frame_rate_extension_d = 0;
};

struct CheckState {
    StatsState stats;  // the pictures' sizes and durations, for the VBV rule
    CheckProfile profile = CheckProfile::NONE;
    const ProfileRules* rules = nullptr;  // chosen by the first sequence
    RuleFinding findings[RULE_KIND_COUNT];

    bool sequence_open = false;  // read, its rules not evaluated yet
    CheckedSequence sequence;
    bool sequence_seen = false, picture_seen = false;
    bool all_mpeg2 = true;
    std::uint32_t vbv_buffer_cap = 0;  // of the first sequence's level

    bool sequence_since_gop = false;
    bool gop_open = false;
    std::uint64_t gop_offset = 0;
    std::uint64_t gop_halves = 0;  // a frame picture 2, a field picture 1
    unsigned gop_limit = 0;        // pictures

    // What the fixes may do to every sequence at once.
    std::uint8_t aspects_everywhere = 0xFF;  // allowed at every size seen
    bool sizes_known = true;  // every size seen is one of the profile's
    std::uint32_t smallest_buffer_cap = UINT32_MAX;
    bool pulldown_fixes = true;  // --pulldown 3:2 makes every frame rate right
    unsigned frame_rate_code = 0;  // of the first sequence

    // Read inside a program or transport stream: the fixes read it there
    // too, with these options after "m2vhdr " ("--demux ", and the stream
    // asked for); the pulldown is refused there.
    bool in_container = false;
    char demux_options[32] = {};
    CommandShell shell = CommandShell::SH;  // what the printed fixes are quoted for
    bool rules_finished = false;  // finish_rules has run
    SinkChain links;  // the statistics sink, then the check's own
};

// The sink of the check; its state is a CheckState.
extern const HeaderSink check_sink;

// Readies `c` for a check of `profile`, and makes the chain of the
// statistics sink (on c.stats) and the check's sink (on `c`) the run's sink.
void start_check(StreamContext& ctx, CheckState& c, CheckProfile profile);
// The pass over the open file, and the rules that the whole stream decides;
// `requested_stream`: the --stream asked for, or -1. False when it failed
// (reported).
bool run_check(StreamContext& ctx, CheckState& c, long requested_stream);
// Evaluates what only the end decides (with `read_whole`: the file was read
// to its end) and prints the result, as text or as JSON; a file that was
// not read whole gets only its JSON document, status "error". True when
// the stream was read whole and breaks no rule.
bool finish_check(StreamContext& ctx, CheckState& c, bool json, const char* file_name,
                  bool read_whole);
void check_free(CheckState& c);

// Evaluates the rules of a sequence that is complete (check_sink.cpp).
void check_sequence(CheckState& c);
// Ends the open GOP (check_sink.cpp).
void check_close_gop(CheckState& c);
// Counts a rule broken at `offset`; the first time, `found` is kept.
void note_broken(CheckState& c, RuleKind kind, std::uint64_t offset, const char* found, ...)
    __attribute__((format(printf, 4, 5)));

