// The patch passes: the flags pass writes the picture coding extensions,
// progressive_sequence and the GOP time codes, the rates pass the
// frame_rate_code of every sequence header. Only bytes that change are
// written, each through write_patch. The check has accepted the file, so
// every header here is one it has seen, with the same extent.
#include <cstring>

#include "pulldown/pulldown.hpp"
#include "rewrite/patch.hpp"

namespace {

PulldownState& state_of(void* own) { return *static_cast<PulldownState*>(own); }

ParseResult patch(StreamContext& ctx, PulldownState& s, std::uint32_t at,
                  const std::uint8_t* target, std::uint32_t count) {
    const std::uint8_t* old = bytes_at_pos(ctx) + at;
    if (std::memcmp(old, target, count) == 0) return CONTINUE;
    PatchPlace place;
    locate_patch_place(ctx, offset_of(ctx) + at, &place);
    if (!write_patch(ctx, stream_target(ctx), place, 0, old, target, count)) return STOP;
    s.patched += 1;
    return CONTINUE;
}

ParseResult patch_sequence_header(StreamContext& ctx, void* own, const syntax::SequenceHeader&) {
    PulldownState& s = state_of(own);
    if (s.pass != PulldownPass::RATES || bytes_held_at_pos(ctx) < 8) return CONTINUE;
    std::uint8_t target = target_sequence_header(s, ctx.win.bytes[ctx.win.pos + 7]);
    return patch(ctx, s, 7, &target, 1);
}

ParseResult patch_sequence_extension(StreamContext& ctx, void* own,
                                     const syntax::SequenceExtension&) {
    PulldownState& s = state_of(own);
    if (s.pass != PulldownPass::FLAGS || bytes_held_at_pos(ctx) < 10) return CONTINUE;
    std::uint8_t target = target_sequence_extension(s, ctx.win.bytes[ctx.win.pos + 5]);
    return patch(ctx, s, 5, &target, 1);
}

ParseResult patch_group_header(StreamContext& ctx, void* own,
                               const syntax::GroupOfPicturesHeader&) {
    PulldownState& s = state_of(own);
    if (s.pass != PulldownPass::FLAGS || bytes_held_at_pos(ctx) < 8) return CONTINUE;
    s.picture_open = false;
    begin_group(s, offset_of(ctx));
    std::uint8_t target[4];
    target_group_of_pictures_header(s, s.group_first, bytes_at_pos(ctx) + 4, target);
    return patch(ctx, s, 4, target, 4);
}

ParseResult patch_picture_header(StreamContext& ctx, void* own, const syntax::PictureHeader& h) {
    PulldownState& s = state_of(own);
    if (s.pass != PulldownPass::FLAGS || bytes_held_at_pos(ctx) < 6) return CONTINUE;
    begin_picture(s, offset_of(ctx), h.temporal_reference);
    return CONTINUE;
}

ParseResult patch_picture_coding_extension(StreamContext& ctx, void* own,
                                           const syntax::PictureCodingExtension&) {
    PulldownState& s = state_of(own);
    if (s.pass != PulldownPass::FLAGS || !s.picture_open) return CONTINUE;
    s.picture_open = false;
    if (bytes_held_at_pos(ctx) < 9) return CONTINUE;
    std::uint8_t target[2];
    target_picture_coding_extension(s, s.display_index, bytes_at_pos(ctx) + 7, target);
    return patch(ctx, s, 7, target, 2);
}

}  // namespace

const HeaderSink pulldown_patch_sink = {
    patch_sequence_header, patch_sequence_extension, nullptr, nullptr, nullptr, nullptr,
    patch_group_header, patch_picture_header, patch_picture_coding_extension, nullptr, nullptr,
};
