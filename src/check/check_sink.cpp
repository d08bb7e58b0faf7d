// The sink of --check: the rules of the profile evaluated on each sequence
// and GOP as it ends. It runs after the statistics sink in one chain, which
// counts the pictures for the VBV rule and prints the layer warnings.
//
// A sequence is complete at the first GOP header, picture header or
// sequence header after its own header: by then its sequence extension,
// if it has one, has been read. Its values are kept from the decoded
// syntax elements, never from the context, which the next header changes.
// Offsets are file offsets, taken while the window holds the header: inside
// a container only then does the map know where its bytes lie.
#include <cstdarg>
#include <cstring>

#include "check/check.hpp"
#include "check/check_text.hpp"
#include "headers/headers.hpp"
#include "scan/start_codes.hpp"

namespace {

CheckState& state_of(void* own) { return *static_cast<CheckState*>(own); }

// The rate's name; the code itself where it names no rate.
const char* frame_rate_text(unsigned code, char* text, std::size_t size) {
    if (frame_rate_fraction(code).denominator != 0) return frame_rate_name(code);
    std::snprintf(text, size, "frame_rate_code %u", code);
    return text;
}

bool scan_fits(Scan scan, const CheckedSequence& s) {
    // A sequence without extension is progressive.
    unsigned progressive = s.mpeg2 ? s.progressive_sequence : 1;
    return scan == Scan::ANY || (scan == Scan::PROGRESSIVE) == (progressive == 1);
}

bool same_size(const Format& f, const CheckedSequence& s) {
    return f.horizontal_size == s.horizontal_size && f.vertical_size == s.vertical_size;
}

bool size_known(const ProfileRules& r, const CheckedSequence& s) {
    for (unsigned i = 0; i < r.format_count; ++i)
        if (same_size(r.formats[i], s)) return true;
    return false;
}

// A format of the sequence's size (of any size when its size is none of
// them) with `frame_rate_code` and a scan that `progressive` fits.
bool rate_fits(const ProfileRules& r, const CheckedSequence& s, unsigned frame_rate_code,
               bool interlaced_only) {
    bool known = size_known(r, s);
    for (unsigned i = 0; i < r.format_count; ++i) {
        const Format& f = r.formats[i];
        if (known && !same_size(f, s)) continue;
        if (f.frame_rate_code != frame_rate_code) continue;
        if (interlaced_only ? f.scan != Scan::PROGRESSIVE : scan_fits(f.scan, s)) return true;
    }
    return false;
}

// The aspect ratios the formats of the sequence's size allow; at a size
// that is none of them, those that every size allows (16:9 at 716x480 is
// wrong whichever size it is brought to).
std::uint8_t aspects_at(const ProfileRules& r, const CheckedSequence& s) {
    if (!size_known(r, s)) {
        std::uint8_t everywhere = 0xFF;
        for (unsigned i = 0; i < r.format_count; ++i) everywhere &= r.formats[i].aspects;
        return everywhere;
    }
    std::uint8_t aspects = 0;
    for (unsigned i = 0; i < r.format_count; ++i)
        if (same_size(r.formats[i], s)) aspects |= r.formats[i].aspects;
    return aspects;
}

void check_frame_rate(CheckState& c, const ProfileRules& r, const CheckedSequence& s) {
    bool extended = s.frame_rate_extension_n != 0 || s.frame_rate_extension_d != 0;
    // --pulldown 3:2 turns 23.976 (24) progressive film into 29.97 (30)
    // interlaced frames; it takes MPEG-2 sequences all at one such rate.
    if (c.frame_rate_code == 0) c.frame_rate_code = s.frame_rate_code;
    if (!s.mpeg2 || extended || s.frame_rate_code != c.frame_rate_code ||
        (s.frame_rate_code != 1 && s.frame_rate_code != 2) ||
        !rate_fits(r, s, s.frame_rate_code + 3, true))
        c.pulldown_fixes = false;
    if (!extended && rate_fits(r, s, s.frame_rate_code, false)) return;

    char name[32];
    const char* rate = frame_rate_text(s.frame_rate_code, name, sizeof name);
    const char* scan = !s.mpeg2 ? "" : s.progressive_sequence ? " progressive" : " interlaced";
    if (extended)
        note_broken(c, RuleKind::FRAME_RATE, s.offset,
                    "%ux%u%s at %s fps with frame_rate_extension_n %u, frame_rate_extension_d %u",
                    s.horizontal_size, s.vertical_size, scan, rate, s.frame_rate_extension_n,
                    s.frame_rate_extension_d);
    else
        note_broken(c, RuleKind::FRAME_RATE, s.offset, "%ux%u%s at %s fps", s.horizontal_size,
                    s.vertical_size, scan, rate);
}

void check_profile_level(CheckState& c, const ProfileRules& r, const CheckedSequence& s) {
    if (!s.mpeg2) {
        if (!r.mpeg1) note_broken(c, RuleKind::PROFILE_LEVEL, s.offset, "MPEG-1");
        return;
    }
    unsigned pli = s.profile_and_level_indication;
    for (unsigned i = 0; i < r.profile_level_count; ++i)
        if (r.profile_levels[i] == pli) return;
    if (pli & 0x80)
        note_broken(c, RuleKind::PROFILE_LEVEL, s.extension_offset, "%s", escape_profile_name(pli));
    else
        note_broken(c, RuleKind::PROFILE_LEVEL, s.extension_offset, "%s@%s",
                    profile_name((pli >> 4) & 7), level_name(pli & 0x0F));
}

// The rules that read the sequence extension.
void check_extension(CheckState& c, const ProfileRules& r, const CheckedSequence& s) {
    if (s.chroma_format != 1)
        note_broken(c, RuleKind::CHROMA_FORMAT, s.extension_offset, "%s",
                    s.chroma_format ? chroma_format_name(s.chroma_format) : "chroma_format 0");
    if (s.low_delay) note_broken(c, RuleKind::LOW_DELAY, s.extension_offset, "low_delay 1");

    std::uint8_t aspects = aspects_at(r, s);
    c.aspects_everywhere &= aspects;
    if (!(aspects & (1u << (s.aspect_ratio_information & 7))) || s.aspect_ratio_information > 7)
        note_broken(c, RuleKind::ASPECT_RATIO, s.offset, "%s at %ux%u",
                    aspect_ratio_name(s.aspect_ratio_information), s.horizontal_size,
                    s.vertical_size);

    std::uint32_t cap = max_vbv_buffer_size(r, s.profile_and_level_indication);
    if (cap < c.smallest_buffer_cap) c.smallest_buffer_cap = cap;
    if (s.vbv_buffer_size > cap)
        note_broken(c, RuleKind::VBV_BUFFER_SIZE, s.offset, "%u (%llu bits), above %u",
                    s.vbv_buffer_size, s.vbv_buffer_size * 16384ull, cap);
}

}  // namespace

void note_broken(CheckState& c, RuleKind kind, std::uint64_t offset, const char* found, ...) {
    RuleFinding& f = c.findings[static_cast<unsigned>(kind)];
    if (f.count++ > 0) return;
    f.first_offset = offset;
    std::va_list args;
    va_start(args, found);
    std::vsnprintf(f.found, sizeof f.found, found, args);
    va_end(args);
}

void check_sequence(CheckState& c) {
    if (!c.sequence_open) return;
    c.sequence_open = false;
    const CheckedSequence& s = c.sequence;
    if (!c.rules) {
        c.rules = &profile_rules(c.profile, !s.mpeg2);
        c.vbv_buffer_cap = max_vbv_buffer_size(*c.rules, s.profile_and_level_indication);
    }
    const ProfileRules& r = *c.rules;
    if (!s.mpeg2) c.all_mpeg2 = false;

    check_profile_level(c, r, s);
    if (s.mpeg2) check_extension(c, r, s);
    if (!size_known(r, s)) {
        c.sizes_known = false;
        note_broken(c, RuleKind::PICTURE_SIZE, s.offset, "%ux%u", s.horizontal_size,
                    s.vertical_size);
    }
    check_frame_rate(c, r, s);
    if (s.bit_rate * 400 > r.max_bit_rate)
        note_broken(c, RuleKind::BIT_RATE, s.offset, "%llu bit/s, above %lu",
                    static_cast<unsigned long long>(s.bit_rate * 400),
                    static_cast<unsigned long>(r.max_bit_rate));
}

void check_close_gop(CheckState& c) {
    if (!c.gop_open) return;
    c.gop_open = false;
    if (c.gop_limit == 0 || c.gop_halves <= 2ull * c.gop_limit) return;
    char frames[32];
    format_frames(c.gop_halves, frames, sizeof frames);
    note_broken(c, RuleKind::GOP_LENGTH, c.gop_offset, check_text::gop_length, frames, c.gop_limit);
}

namespace {

ParseResult on_sequence_header(StreamContext& ctx, void* own, const syntax::SequenceHeader& h) {
    CheckState& c = state_of(own);
    check_sequence(c);
    c.sequence_open = true;
    c.sequence_seen = true;
    c.sequence_since_gop = true;
    CheckedSequence& s = c.sequence;
    s = CheckedSequence{};
    s.offset = file_offset_of(ctx, offset_of(ctx));
    s.horizontal_size = h.horizontal_size_value;
    s.vertical_size = h.vertical_size_value;
    s.aspect_ratio_information = h.aspect_ratio_information;
    s.frame_rate_code = h.frame_rate_code;
    s.bit_rate = h.bit_rate_value;
    s.vbv_buffer_size = h.vbv_buffer_size_value;
    return CONTINUE;
}

ParseResult on_sequence_extension(StreamContext& ctx, void* own,
                                  const syntax::SequenceExtension& e) {
    CheckState& c = state_of(own);
    CheckedSequence& s = c.sequence;
    if (!c.sequence_open || s.mpeg2) return CONTINUE;
    s.mpeg2 = true;
    s.extension_offset = file_offset_of(ctx, offset_of(ctx));
    s.horizontal_size |= e.horizontal_size_extension << 12;
    s.vertical_size |= e.vertical_size_extension << 12;
    s.bit_rate |= std::uint64_t{e.bit_rate_extension} << 18;
    s.vbv_buffer_size |= e.vbv_buffer_size_extension << 10;
    s.profile_and_level_indication = e.profile_and_level_indication;
    s.progressive_sequence = e.progressive_sequence;
    s.chroma_format = e.chroma_format;
    s.low_delay = e.low_delay;
    s.frame_rate_extension_n = e.frame_rate_extension_n;
    s.frame_rate_extension_d = e.frame_rate_extension_d;
    return CONTINUE;
}

ParseResult on_group(StreamContext& ctx, void* own, const syntax::GroupOfPicturesHeader&) {
    CheckState& c = state_of(own);
    check_sequence(c);
    check_close_gop(c);
    std::uint64_t at = file_offset_of(ctx, offset_of(ctx));
    if (!c.sequence_since_gop)
        note_broken(c, RuleKind::GOP_SEQUENCE_HEADER, at,
                    "a GOP header without a sequence header before it");
    c.sequence_since_gop = false;
    c.gop_open = true;
    c.gop_offset = at;
    c.gop_halves = 0;
    const ProfileRules& r = c.rules ? *c.rules : profile_rules(c.profile, false);
    c.gop_limit = c.sequence.frame_rate_code == 3 ? r.max_gop_pictures_25 : r.max_gop_pictures_30;
    return CONTINUE;
}

ParseResult on_picture(StreamContext&, void* own, const syntax::PictureHeader&) {
    CheckState& c = state_of(own);
    check_sequence(c);
    c.picture_seen = true;
    if (c.gop_open) c.gop_halves += 2;
    return CONTINUE;
}

ParseResult on_picture_coding_extension(StreamContext& ctx, void* own,
                                        const syntax::PictureCodingExtension& e) {
    CheckState& c = state_of(own);
    if (ctx.decoded.last_start_code != PICTURE_START_CODE) return CONTINUE;
    bool field = e.picture_structure != 3;
    if (field && c.gop_open && c.gop_halves > 0) --c.gop_halves;
    // The pulldown takes only progressive frames without repeated fields.
    if (field || !e.progressive_frame || e.repeat_first_field) c.pulldown_fixes = false;
    return CONTINUE;
}

ParseResult on_picture_display_extension(StreamContext&, void* own,
                                         const syntax::PictureDisplayExtension&) {
    state_of(own).pulldown_fixes = false;  // the pulldown refuses them
    return CONTINUE;
}

}  // namespace

const HeaderSink check_sink = {
    on_sequence_header, on_sequence_extension, nullptr, nullptr, nullptr,
    on_picture_display_extension, on_group, on_picture, on_picture_coding_extension, nullptr,
    nullptr,
};
