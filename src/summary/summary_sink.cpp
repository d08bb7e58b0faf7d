// The summary's sink: where each segment begins, and what it counts.
//
// A sequence's parameters are complete once its extensions are read, so a
// sequence is placed at the first GOP header or picture after it: in the
// open segment when its parameters are those of the segment, else in a new
// one. A picture belongs to the segment open when its picture header came;
// it is counted once the next header closes it (its picture coding
// extension has come by then).
#include <cstdlib>

#include "scan/start_codes.hpp"
#include "summary/summary.hpp"

namespace {

SummaryState& state_of(void* own) { return *static_cast<SummaryState*>(own); }

Segment* open_segment(SummaryState& s) {
    return s.segment_count ? &s.segments[s.segment_count - 1] : nullptr;
}

// The most common value of a histogram; the larger on a tie (a short GOP
// is most often the last).
std::uint64_t most_common(const std::uint64_t* bins, unsigned count) {
    std::uint64_t best = 0;
    for (unsigned i = 1; i < count; ++i)
        if (bins[i] != 0 && bins[i] >= bins[best]) best = i;
    return bins[best] ? best : 0;
}

void close_gop(SummaryState& s) {
    if (!s.gop_open) return;
    ++s.gop_lengths[s.gop_halves < GOP_LENGTH_BINS ? s.gop_halves : GOP_LENGTH_BINS - 1];
    s.gop_open = false;
    s.gop_halves = 0;
}

// The open picture, counted into the open segment.
void close_picture(SummaryState& s) {
    Segment* g = open_segment(s);
    if (!s.have_picture || !g) return;
    s.have_picture = false;
    ++g->pictures_by_type[s.picture_coding_type <= 4 ? s.picture_coding_type : 0];
    if (s.field) ++g->field_pictures;
    else if (!s.progressive_frame) ++g->interlaced_frames;
    if (s.repeat_first_field) ++g->repeat_first_field_pictures;
    unsigned halves = s.field ? 1 : 2;
    if (s.gop_open) s.gop_halves += halves;

    // The second field of a pair is no new anchor: M counts frames.
    bool second_field = s.field && s.field_pair_open;
    s.field_pair_open = s.field && !second_field;
    if (s.picture_coding_type == 3) {
        s.b_halves += halves;
    } else if ((s.picture_coding_type == 1 || s.picture_coding_type == 2) && !second_field) {
        if (s.have_anchor) {
            std::uint64_t m = s.b_halves / 2 + 1;
            ++s.anchor_distances[m < ANCHOR_DISTANCE_BINS ? m : ANCHOR_DISTANCE_BINS - 1];
        }
        s.have_anchor = true;
        s.b_halves = 0;
    }
}

// Ends the open segment's GOP and anchor counts.
void close_segment(SummaryState& s) {
    Segment* g = open_segment(s);
    if (!g) return;
    close_gop(s);
    g->gop_halves = most_common(s.gop_lengths, GOP_LENGTH_BINS);
    g->anchor_distance = most_common(s.anchor_distances, ANCHOR_DISTANCE_BINS);
    for (auto& bin : s.gop_lengths) bin = 0;
    for (auto& bin : s.anchor_distances) bin = 0;
    s.have_anchor = false;
    s.b_halves = 0;
}

bool add_segment(SummaryState& s) {
    if (s.segment_count == s.segment_capacity) {
        std::uint64_t capacity = s.segment_capacity ? 2 * s.segment_capacity : 8;
        void* grown = std::realloc(s.segments, capacity * sizeof(Segment));
        if (!grown) return false;
        s.segments = static_cast<Segment*>(grown);
        s.segment_capacity = capacity;
    }
    s.segments[s.segment_count++] = Segment{};
    s.cadence_pending = true;
    return true;
}

// Places the pending sequence, or opens a segment without parameters for
// pictures before any sequence header; before a GOP header or a picture.
void place_sequence(StreamContext& ctx, SummaryState& s) {
    Segment* g = open_segment(s);
    if (!s.sequence_pending) {
        if (!g && !add_segment(s)) s.out_of_memory = true;
        if (!g && !s.out_of_memory) s.segments[0].first_offset = file_offset_of(ctx, offset_of(ctx));
        return;
    }
    s.sequence_pending = false;
    const DecodedState& d = ctx.decoded;
    SegmentParameters& p = s.next;
    FirstSequence& q = p.sequence;
    q.seen = true;
    q.horizontal_size = d.horizontal_size;
    q.vertical_size = d.vertical_size;
    q.aspect_ratio_information = d.aspect_ratio_information;
    q.frame_rate_code = d.frame_rate_code;
    q.bit_rate = d.bit_rate;
    q.vbv_buffer_size = d.vbv_buffer_size;
    if (q.mpeg2) {
        q.frame_rate_extension_n = d.frame_rate_extension_n;
        q.frame_rate_extension_d = d.frame_rate_extension_d;
        p.progressive_sequence = d.progressive_sequence;
        p.chroma_format = d.chroma_format;
    }
    if (g && g->parameters == p) return;
    if (g && g->parameters.sequence.seen) {
        // A new segment: the pictures from here on are its own.
        close_segment(s);
        if (!add_segment(s)) {
            s.out_of_memory = true;
            return;
        }
        g = open_segment(s);
        g->first_picture = s.pictures;
    } else if (!g) {
        if (!add_segment(s)) {
            s.out_of_memory = true;
            return;
        }
        g = open_segment(s);
    }
    // The first sequence also takes the pictures before it.
    g->parameters = p;
    g->first_offset = s.sequence_offset;
}

ParseResult on_sequence_header(StreamContext& ctx, void* own, const syntax::SequenceHeader&) {
    SummaryState& s = state_of(own);
    close_picture(s);
    s.next = SegmentParameters{};
    if (!s.sequence_pending) s.sequence_offset = file_offset_of(ctx, offset_of(ctx));
    s.sequence_pending = true;
    return CONTINUE;
}

ParseResult on_sequence_extension(StreamContext&, void* own, const syntax::SequenceExtension& e) {
    SummaryState& s = state_of(own);
    if (!s.sequence_pending) return CONTINUE;
    s.next.sequence.mpeg2 = true;
    s.next.sequence.profile_and_level_indication = e.profile_and_level_indication;
    s.next.low_delay = e.low_delay;
    return CONTINUE;
}

ParseResult on_group(StreamContext& ctx, void* own, const syntax::GroupOfPicturesHeader& h) {
    SummaryState& s = state_of(own);
    close_picture(s);
    place_sequence(ctx, s);
    Segment* g = open_segment(s);
    if (!g) return CONTINUE;
    close_gop(s);
    s.gop_open = true;
    ++g->gops;
    if (h.closed_gop) ++g->closed_gops;
    return CONTINUE;
}

ParseResult on_picture(StreamContext& ctx, void* own, const syntax::PictureHeader& h) {
    SummaryState& s = state_of(own);
    close_picture(s);
    place_sequence(ctx, s);
    Segment* g = open_segment(s);
    // The statistics sink, earlier in the chain, has now counted the
    // cadence of the GOPs before this picture.
    if (g && s.cadence_pending) {
        g->cadence_steps = s.stats->cadence.steps;
        g->cadence_follows = s.stats->cadence.follows;
        s.cadence_pending = false;
    }
    ++s.pictures;
    s.have_picture = true;
    s.picture_coding_type = h.picture_coding_type;
    // An MPEG-1 picture is a progressive frame.
    s.field = false;
    s.progressive_frame = true;
    s.repeat_first_field = false;
    return CONTINUE;
}

ParseResult on_picture_coding_extension(StreamContext& ctx, void* own,
                                        const syntax::PictureCodingExtension& e) {
    SummaryState& s = state_of(own);
    // Only the extension of the open picture sets its flags.
    if (!s.have_picture || ctx.decoded.last_start_code != PICTURE_START_CODE) return CONTINUE;
    s.field = e.picture_structure != 3;
    s.progressive_frame = e.progressive_frame != 0;
    s.repeat_first_field = e.repeat_first_field != 0;
    return CONTINUE;
}

}  // namespace

void summary_finish(SummaryState& s) {
    close_picture(s);
    close_segment(s);
    const StatsState& t = *s.stats;
    for (std::uint64_t i = 0; i < s.segment_count; ++i) {
        Segment& g = s.segments[i];
        bool last = i + 1 == s.segment_count;
        std::uint64_t end = last ? t.log.count : s.segments[i + 1].first_picture;
        std::uint64_t time = i ? s.segments[i - 1].end_ticks : 0;  // the first begins at 0
        g.start_ticks = time;
        std::uint64_t bits = 0;
        for (std::uint64_t k = g.first_picture; k < end && k < t.log.count; ++k) {
            PictureEntry p = picture_at(t.log, k);
            time += p.duration;
            bits += picture_bits(p);
        }
        g.end_ticks = time;
        g.bytes = bits / 8;
        std::uint64_t ticks = g.end_ticks - g.start_ticks;
        g.average_bit_rate = ticks ? mul_div(bits, TICKS_PER_SECOND, ticks) : 0;

        // The 3:2 counts up to the next segment's first picture.
        std::uint64_t steps = last ? t.cadence.steps : s.segments[i + 1].cadence_steps;
        std::uint64_t follows = last ? t.cadence.follows : s.segments[i + 1].cadence_follows;
        if (follows_pulldown_cadence(g.repeat_first_field_pictures, steps - g.cadence_steps,
                                     follows - g.cadence_follows))
            g.cadence = SegmentCadence::FILM;
        else if (g.field_pictures == 0 && g.interlaced_frames == 0)
            g.cadence = SegmentCadence::PROGRESSIVE;
        else
            g.cadence = SegmentCadence::INTERLACED;
        g.closed = g.gops > 0 && g.closed_gops == g.gops ? ClosedGops::ALL
                   : g.closed_gops > 0                   ? ClosedGops::SOME
                                                         : ClosedGops::NONE;
    }
}

void summary_free(SummaryState& s) {
    std::free(s.segments);
    s.segments = nullptr;
    s.segment_count = s.segment_capacity = 0;
}

const HeaderSink summary_sink = {
    on_sequence_header, on_sequence_extension, nullptr, nullptr, nullptr, nullptr,
    on_group,           on_picture,            on_picture_coding_extension, nullptr,
    nullptr,
};
