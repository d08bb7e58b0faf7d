// group_of_pictures_header (00 00 01 B8) and picture_header (00 00 01 00).
#include "headers/headers.hpp"
#include "headers/report_text.hpp"

// group_of_pictures_header
//
//   byte 4..7  drop_frame_flag | time_code_hours (5) | time_code_minutes (6) |
//              marker_bit | time_code_seconds (6) | time_code_pictures (6) |
//              closed_gop | broken_link
ParseResult parse_group_header(StreamContext& ctx) {
    const std::uint8_t* p = ctx.window + ctx.pos;

    unsigned drop_frame_flag = p[4] >> 7;
    unsigned time_code_hours = (p[4] >> 2) & 0x1F;
    unsigned time_code_minutes = (p[4] & 3u) << 4 | p[5] >> 4;
    unsigned time_code_seconds = (p[5] & 7u) << 3 | p[6] >> 5;
    unsigned time_code_pictures = (p[6] & 0x1Fu) << 1 | p[7] >> 7;
    unsigned closed_gop = (p[7] >> 6) & 1;
    unsigned broken_link = (p[7] >> 5) & 1;

    if (ctx.mode == Mode::REPORT) {
        // "    TC=%02u:%02u:%02u:%02u (%s)/closed GOP=%s/broken link=%s\n"
        ReportText block;
        put_header_line(block, ctx, "GROUP_START_CODE");
        put_text(block, "    TC=");
        put_decimal_2(block, time_code_hours);
        put_text(block, ":");
        put_decimal_2(block, time_code_minutes);
        put_text(block, ":");
        put_decimal_2(block, time_code_seconds);
        put_text(block, ":");
        put_decimal_2(block, time_code_pictures);
        put_text(block, drop_frame_flag ? " (drop frame)" : " (non drop frame)");
        put_text(block, "/closed GOP=");
        put_text(block, yes_no(closed_gop));
        put_text(block, "/broken link=");
        put_text(block, yes_no(broken_link));
        put_text(block, "\n");
        write_report(ctx, block);
    }
    ctx.pos += 7;
    return CONTINUE;
}

// picture_header, leading part
//
//   byte 4..7  temporal_reference (10) | picture_coding_type (3) |
//              vbv_delay (16) | ...
// The motion-vector codes of P and B pictures follow and are not read.
ParseResult parse_picture_header(StreamContext& ctx) {
    const std::uint8_t* p = ctx.window + ctx.pos;

    unsigned temporal_reference = p[4] << 2 | p[5] >> 6;
    unsigned picture_coding_type = (p[5] >> 3) & 7;
    unsigned vbv_delay = (p[5] & 7u) << 13 | p[6] << 5 | p[7] >> 3;

    if (ctx.mode == Mode::REPORT) {
        // "    temporal reference=%u/picture type=%s/VBV delay=%u\n"
        ReportText block;
        put_header_line(block, ctx, "PICTURE_START_CODE");
        put_text(block, "    temporal reference=");
        put_decimal(block, temporal_reference);
        put_text(block, "/picture type=");
        put_text(block, picture_coding_type_name(picture_coding_type));
        put_text(block, "/VBV delay=");
        if (vbv_delay == 0xFFFF) {  // variable bit rate
            put_text(block, "VBR");
        } else {
            put_decimal(block, vbv_delay);
        }
        put_text(block, "\n");
        write_report(ctx, block);
    }
    ctx.pos += 7;
    return CONTINUE;
}
