// group_of_pictures_header (00 00 01 B8) and picture_header (00 00 01 00).
#include "headers/header_sink.hpp"
#include "headers/headers.hpp"
#include "headers/report_text.hpp"

// group_of_pictures_header
//
//   byte 4..7  drop_frame_flag | time_code_hours (5) | time_code_minutes (6) |
//              marker_bit | time_code_seconds (6) | time_code_pictures (6) |
//              closed_gop | broken_link
ParseResult parse_group_header(StreamContext& ctx) {
    const std::uint8_t* p = bytes_at_pos(ctx);

    syntax::GroupOfPicturesHeader g{};
    g.drop_frame_flag = p[4] >> 7;
    g.time_code_hours = (p[4] >> 2) & 0x1Fu;
    g.time_code_minutes = (p[4] & 3u) << 4 | p[5] >> 4;
    g.time_code_seconds = (p[5] & 7u) << 3 | p[6] >> 5;
    g.time_code_pictures = (p[6] & 0x1Fu) << 1 | p[7] >> 7;
    g.closed_gop = (p[7] >> 6) & 1u;
    g.broken_link = (p[7] >> 5) & 1u;

    ParseResult result = CONTINUE;
    if (ctx.sink->group_of_pictures_header)
        result = ctx.sink->group_of_pictures_header(ctx, ctx.sink_state, g);
    ctx.win.pos += 7;
    return result;
}

ParseResult report_group_header(StreamContext& ctx, void*, const syntax::GroupOfPicturesHeader& g) {
    // "    TC=%02u:%02u:%02u:%02u (%s)/closed GOP=%s/broken link=%s\n"
    ReportText block;
    put_header_line(block, ctx, "GROUP_START_CODE");
    put_text(block, "    TC=");
    put_decimal_2(block, g.time_code_hours);
    put_text(block, ":");
    put_decimal_2(block, g.time_code_minutes);
    put_text(block, ":");
    put_decimal_2(block, g.time_code_seconds);
    put_text(block, ":");
    put_decimal_2(block, g.time_code_pictures);
    put_text(block, g.drop_frame_flag ? " (drop frame)" : " (non drop frame)");
    put_text(block, "/closed GOP=");
    put_text(block, yes_no(g.closed_gop));
    put_text(block, "/broken link=");
    put_text(block, yes_no(g.broken_link));
    put_text(block, "\n");
    write_report(ctx, block);
    return CONTINUE;
}

// picture_header, leading part
//
//   byte 4..7  temporal_reference (10) | picture_coding_type (3) |
//              vbv_delay (16) | full_pel_forward_vector | forward_f_code 2..1
//   byte 8     forward_f_code 0 | full_pel_backward_vector |
//              backward_f_code (3) | ...
// The forward fields exist in P and B pictures, the backward ones in B
// pictures; the scan goes on after byte 7.
ParseResult parse_picture_header(StreamContext& ctx) {
    const std::uint8_t* p = bytes_at_pos(ctx);

    syntax::PictureHeader h{};
    h.temporal_reference = p[4] << 2 | p[5] >> 6;
    h.picture_coding_type = (p[5] >> 3) & 7u;
    h.vbv_delay = (p[5] & 7u) << 13 | p[6] << 5 | p[7] >> 3;
    if (h.picture_coding_type == 2 || h.picture_coding_type == 3) {
        h.full_pel_forward_vector = (p[7] >> 2) & 1u;
        h.forward_f_code = (p[7] & 3u) << 1 | p[8] >> 7;
    }
    if (h.picture_coding_type == 3) {
        h.full_pel_backward_vector = (p[8] >> 6) & 1u;
        h.backward_f_code = (p[8] >> 3) & 7u;
    }

    ParseResult result = CONTINUE;
    if (ctx.sink->picture_header) result = ctx.sink->picture_header(ctx, ctx.sink_state, h);
    ctx.win.pos += 7;
    return result;
}

ParseResult report_picture_header(StreamContext& ctx, void*, const syntax::PictureHeader& h) {
    // "    temporal reference=%u/picture type=%s/VBV delay=%u\n"
    ReportText block;
    put_header_line(block, ctx, "PICTURE_START_CODE");
    put_text(block, "    temporal reference=");
    put_decimal(block, h.temporal_reference);
    put_text(block, "/picture type=");
    put_text(block, picture_coding_type_name(h.picture_coding_type));
    put_text(block, "/VBV delay=");
    if (h.vbv_delay == 0xFFFF) {  // variable bit rate
        put_text(block, "VBR");
    } else {
        put_decimal(block, h.vbv_delay);
    }
    put_text(block, "\n");
    write_report(ctx, block);
    return CONTINUE;
}
