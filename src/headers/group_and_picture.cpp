// group_of_pictures_header (00 00 01 B8) and picture_header (00 00 01 00).
#include "headers/headers.hpp"

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
        print_header_line(ctx, "GROUP_START_CODE");
        std::fprintf(ctx.out,
                     "    TC=%02u:%02u:%02u:%02u (%s)/closed GOP=%s/broken link=%s\n",
                     time_code_hours, time_code_minutes, time_code_seconds,
                     time_code_pictures,
                     drop_frame_flag ? "drop frame" : "non drop frame",
                     yes_no(closed_gop), yes_no(broken_link));
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
        print_header_line(ctx, "PICTURE_START_CODE");
        std::fprintf(ctx.out, "    temporal reference=%u/picture type=%s/",
                     temporal_reference, picture_coding_type_name(picture_coding_type));
        if (vbv_delay == 0xFFFF)  // variable bit rate
            std::fputs("VBV delay=VBR\n", ctx.out);
        else
            std::fprintf(ctx.out, "VBV delay=%u\n", vbv_delay);
    }
    ctx.pos += 7;
    return CONTINUE;
}
