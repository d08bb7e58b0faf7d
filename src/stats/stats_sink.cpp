// The statistics pass: a sink that counts headers and keeps each picture's
// size and display duration.
//
// A picture's bits are the bytes from its first header (the sequence header,
// GOP header or picture header that comes first after the previous picture's
// data) up to the next picture's first header, or to the end of the file. A
// picture is closed, and its duration worked out, when the next one starts:
// by then its picture coding extension has been read.
#include <cstdlib>
#include <cstring>

#include "headers/headers.hpp"
#include "stats/stats.hpp"
#include "scan/start_codes.hpp"

namespace {

// picture_flags of the open picture
constexpr std::uint32_t FLAG_FIELD = 1;        // a field picture
constexpr std::uint32_t FLAG_TOP_FIRST = 2;    // top_field_first
constexpr std::uint32_t FLAG_REPEAT = 4;       // repeat_first_field
constexpr std::uint32_t FLAG_PROGRESSIVE = 8;  // progressive_sequence
constexpr std::uint32_t FLAG_GOP_START = 16;
// Cadence entries: the flags above, plus one for "a picture is here".
constexpr std::uint8_t CADENCE_PRESENT = 32;

StatsState& state_of(void* own) { return *static_cast<StatsState*>(own); }

// Fields a picture is shown for, in field periods.
std::uint32_t fields_of(std::uint32_t flags) {
    if (flags & FLAG_FIELD) return 1;
    if (!(flags & FLAG_REPEAT)) return 2;
    if (flags & FLAG_PROGRESSIVE) return flags & FLAG_TOP_FIRST ? 6 : 4;
    return 3;
}

// Whether two pictures shown one after the other follow the 3:2 pattern.
// Interlaced: repeat_first_field alternates, and each picture starts on the
// field parity after the last field of the one before (a repeated field
// ends on the parity it began with). Progressive: every picture repeats,
// for three frame periods with top_field_first and two without, in turn.
bool follows_pulldown(std::uint8_t previous, std::uint8_t current) {
    if ((previous | current) & FLAG_FIELD) return false;
    bool previous_top = previous & FLAG_TOP_FIRST, previous_repeat = previous & FLAG_REPEAT;
    bool top = current & FLAG_TOP_FIRST, repeat = current & FLAG_REPEAT;
    if (current & FLAG_PROGRESSIVE) return previous_repeat && repeat && previous_top != top;
    return previous_repeat != repeat && top == (previous_top != previous_repeat);
}

// Walks the GOP's pictures in display (temporal_reference) order.
void flush_cadence(Cadence& c) {
    for (std::uint8_t entry : c.by_temporal_reference) {
        if (!entry) continue;
        if (c.have_previous) {
            ++c.steps;
            if (follows_pulldown(c.previous, entry)) ++c.follows;
        }
        c.previous = entry;
        c.have_previous = true;
    }
    std::memset(c.by_temporal_reference, 0, sizeof c.by_temporal_reference);
}

// Ticks of one field period; a sequence without a valid frame_rate_code
// has no rate, and its pictures take no time.
std::uint32_t field_ticks(const StreamContext& ctx) {
    FrameRateFraction rate = frame_rate_fraction(ctx.decoded.frame_rate_code);
    if (rate.numerator == 0) return 0;
    // A field is half a frame: 1 440 000 * 1001 / 24000 = 60 060 ticks at
    // 23.976. Every such period is a multiple of 12 ticks, so dividing by
    // n + 1 (1 to 4) is exact.
    auto ticks = static_cast<std::uint32_t>(TICKS_PER_SECOND / 2 * rate.denominator / rate.numerator);
    return ticks * (ctx.decoded.frame_rate_extension_d + 1u) / (ctx.decoded.frame_rate_extension_n + 1u);
}

void note_first_header(StatsState& s, const StreamContext& ctx) {
    if (!s.have_next_start) {
        s.have_next_start = true;
        s.next_start = offset_of(ctx);
    }
}

void close_gop(StatsState& s) {
    if (s.gops == 0) return;
    if (s.gops == 1 || s.gop_halves < s.gop_halves_min) s.gop_halves_min = s.gop_halves;
    if (s.gop_halves > s.gop_halves_max) s.gop_halves_max = s.gop_halves;
    s.gop_halves = 0;
}

// Closes the open picture, whose bits end at `end`.
void close_picture(StatsState& s, std::uint64_t end, std::uint32_t ticks) {
    if (!s.have_picture) return;
    std::uint64_t size = end > s.picture_start ? end - s.picture_start : 0;
    s.total_bytes += size;
    PictureEntry entry;
    entry.size_and_gop_start = size > MAX_PICTURE_SIZE ? MAX_PICTURE_SIZE
                                                       : static_cast<std::uint32_t>(size);
    if (s.picture_flags & FLAG_GOP_START) entry.size_and_gop_start |= GOP_START_BIT;
    entry.duration = fields_of(s.picture_flags) * ticks;
    if (s.picture_before_sequence) entry.duration = s.picture_flags & (FLAG_FIELD | FLAG_TOP_FIRST | FLAG_REPEAT);
    if (!picture_log_push(s.log, entry)) {
        s.out_of_memory = true;
    } else {
        s.logged_bits += picture_bits(entry);
        if (s.picture_before_sequence) ++s.leading_pictures;
    }

    if (s.picture_flags & FLAG_FIELD) ++s.field_pictures;
    if (s.picture_flags & FLAG_REPEAT) ++s.repeat_first_field_pictures;
    std::uint8_t& slot = s.cadence.by_temporal_reference[s.temporal_reference & 1023];
    if (!slot) slot = static_cast<std::uint8_t>(CADENCE_PRESENT | (s.picture_flags & 15));
    s.have_picture = false;
}

// Gives the pictures logged before the first sequence header the frame
// period and the progressive_sequence of the sequence now in `ctx`; without
// any sequence header they take no time.
void time_leading_pictures(StatsState& s, const StreamContext& ctx) {
    if (s.leading_pictures == 0) return;
    std::uint32_t ticks = ctx.decoded.sequence_header_seen ? field_ticks(ctx) : 0;
    std::uint32_t progressive = !ctx.decoded.sequence_extension_seen || ctx.decoded.progressive_sequence ? FLAG_PROGRESSIVE : 0;
    for (std::uint64_t i = 0; i < s.leading_pictures; ++i) {
        PictureEntry& e = s.log.blocks[i / PictureLog::BLOCK][i % PictureLog::BLOCK];
        e.duration = fields_of(e.duration | progressive) * ticks;
    }
    s.leading_pictures = 0;
}

void capture_first_sequence(StatsState& s, const StreamContext& ctx) {
    FirstSequence& f = s.first;
    if (f.seen || !ctx.decoded.sequence_header_seen) return;
    f.seen = true;
    f.mpeg2 = ctx.decoded.sequence_extension_seen;
    f.horizontal_size = ctx.decoded.horizontal_size;
    f.vertical_size = ctx.decoded.vertical_size;
    f.aspect_ratio_information = ctx.decoded.aspect_ratio_information;
    f.frame_rate_code = ctx.decoded.frame_rate_code;
    f.frame_rate_extension_n = ctx.decoded.frame_rate_extension_n;
    f.frame_rate_extension_d = ctx.decoded.frame_rate_extension_d;
    f.bit_rate = ctx.decoded.bit_rate;
    f.vbv_buffer_size = ctx.decoded.vbv_buffer_size;
}

ParseResult on_sequence_header(StreamContext& ctx, void* own, const syntax::SequenceHeader&) {
    StatsState& s = state_of(own);
    ++s.sequences;
    note_first_header(s, ctx);
    return CONTINUE;
}

ParseResult on_sequence_extension(StreamContext& ctx, void* own,
                                  const syntax::SequenceExtension& e) {
    StatsState& s = state_of(own);
    if (!s.first.seen) {
        s.first.profile_and_level_indication = e.profile_and_level_indication;
        capture_first_sequence(s, ctx);
    }
    return CONTINUE;
}

ParseResult on_group(StreamContext& ctx, void* own, const syntax::GroupOfPicturesHeader& g) {
    StatsState& s = state_of(own);
    close_gop(s);
    ++s.gops;
    if (g.closed_gop) ++s.closed_gops;
    s.next_opens_gop = true;
    note_first_header(s, ctx);
    return CONTINUE;
}

ParseResult on_picture(StreamContext& ctx, void* own, const syntax::PictureHeader& h) {
    StatsState& s = state_of(own);
    capture_first_sequence(s, ctx);
    note_first_header(s, ctx);
    close_picture(s, s.next_start, s.field_ticks);
    if (ctx.decoded.sequence_header_seen) time_leading_pictures(s, ctx);
    if (s.next_opens_gop) flush_cadence(s.cadence);

    s.have_picture = true;
    if (s.log.count == 0) s.first_picture_start = s.next_start;
    s.picture_start = s.next_start;
    s.have_next_start = false;
    s.picture_flags = ctx.decoded.progressive_sequence ? FLAG_PROGRESSIVE : 0;
    if (!ctx.decoded.sequence_extension_seen) s.picture_flags = FLAG_PROGRESSIVE;
    s.picture_before_sequence = !ctx.decoded.sequence_header_seen;
    if (s.next_opens_gop) s.picture_flags |= FLAG_GOP_START;
    s.next_opens_gop = false;
    s.temporal_reference = h.temporal_reference;
    s.field_ticks = field_ticks(ctx);
    ++s.pictures_by_type[h.picture_coding_type <= 4 ? h.picture_coding_type : 0];
    if (s.gops > 0) s.gop_halves += 2;
    return CONTINUE;
}

ParseResult on_picture_coding_extension(StreamContext& ctx, void* own,
                                        const syntax::PictureCodingExtension& e) {
    StatsState& s = state_of(own);
    // Only the extension of the open picture sets its flags.
    if (!s.have_picture || ctx.decoded.last_start_code != PICTURE_START_CODE) return CONTINUE;
    bool was_field = (s.picture_flags & FLAG_FIELD) != 0;
    s.picture_flags &= FLAG_PROGRESSIVE | FLAG_GOP_START;
    if (e.picture_structure != 3) s.picture_flags |= FLAG_FIELD;
    // A field picture is half a frame of its GOP.
    bool field = e.picture_structure != 3;
    if (s.gops > 0 && field != was_field) s.gop_halves = field ? s.gop_halves - 1 : s.gop_halves + 1;
    if (e.top_field_first) s.picture_flags |= FLAG_TOP_FIRST;
    if (e.repeat_first_field) s.picture_flags |= FLAG_REPEAT;
    return CONTINUE;
}

}  // namespace

bool picture_log_push(PictureLog& log, PictureEntry entry) {
    std::uint64_t block = log.count / PictureLog::BLOCK;
    if (block == log.block_count) {
        if (log.block_count == log.block_capacity) {
            std::uint64_t capacity = log.block_capacity ? 2 * log.block_capacity : 64;
            void* grown = std::realloc(log.blocks, capacity * sizeof *log.blocks);
            if (!grown) return false;
            log.blocks = static_cast<PictureEntry**>(grown);
            log.block_capacity = capacity;
        }
        void* fresh = std::malloc(PictureLog::BLOCK * sizeof(PictureEntry));
        if (!fresh) return false;
        log.blocks[log.block_count++] = static_cast<PictureEntry*>(fresh);
    }
    log.blocks[block][log.count % PictureLog::BLOCK] = entry;
    ++log.count;
    return true;
}

void picture_log_free(PictureLog& log) {
    for (std::uint64_t i = 0; i < log.block_count; ++i) std::free(log.blocks[i]);
    std::free(log.blocks);
    log = PictureLog{};
}

void stats_finish(const StreamContext& ctx, StatsState& s, std::uint64_t end_offset) {
    capture_first_sequence(s, ctx);  // a stream without pictures
    close_picture(s, end_offset, s.field_ticks);
    time_leading_pictures(s, ctx);
    flush_cadence(s.cadence);
    close_gop(s);
}

void stats_free(StatsState& s) { picture_log_free(s.log); }

const HeaderSink stats_sink = {
    on_sequence_header, on_sequence_extension, nullptr, nullptr, nullptr, nullptr,
    on_group,           on_picture,            on_picture_coding_extension, nullptr,
    print_layer_warning,
};

const HeaderSink stats_quiet_sink = {
    on_sequence_header, on_sequence_extension, nullptr, nullptr, nullptr, nullptr,
    on_group,           on_picture,            on_picture_coding_extension, nullptr,
    nullptr,
};
