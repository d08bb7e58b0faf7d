// sequence_extension (00 00 01 B5, identifier 1) and the sequence report.
//
//   byte 4   identifier (4) | profile_and_level_indication 7..4
//   byte 5   profile_and_level_indication 3..0 | progressive_sequence |
//            chroma_format (2) | horizontal_size_extension bit 1
//   byte 6   horizontal_size_extension bit 0 | vertical_size_extension (2) |
//            bit_rate_extension 11..7
//   byte 7   bit_rate_extension 6..0 | marker_bit
//   byte 8   vbv_buffer_size_extension
//   byte 9   low_delay | frame_rate_extension_n (2) | frame_rate_extension_d (5)
//
// The extension supplies the high-order bits of the sequence header's size,
// bit-rate and VBV values; a repeated extension replaces them.
#include "headers/header_sink.hpp"
#include "headers/headers.hpp"
#include "headers/report_text.hpp"

namespace {

void put_profile_and_level(ReportText& block, unsigned profile_and_level_indication) {
    if (profile_and_level_indication & 0x80) {  // escape bit
        put_text(block, escape_profile_name(profile_and_level_indication));
    } else {
        put_text(block, profile_name((profile_and_level_indication >> 4) & 7));
        put_text(block, "@");
        put_text(block, level_name(profile_and_level_indication & 0x0F));
    }
}

}  // namespace

ParseResult parse_sequence_extension(StreamContext& ctx) {
    const std::uint8_t* p = bytes_at_pos(ctx);

    syntax::SequenceExtension e{};
    e.profile_and_level_indication = (p[4] & 0x0Fu) << 4 | p[5] >> 4;
    e.progressive_sequence = (p[5] >> 3) & 1u;
    e.chroma_format = (p[5] >> 1) & 3u;
    e.horizontal_size_extension = (p[5] & 1u) << 1 | p[6] >> 7;
    e.vertical_size_extension = (p[6] >> 5) & 3u;
    e.bit_rate_extension = (p[6] & 0x1Fu) << 7 | p[7] >> 1;
    e.vbv_buffer_size_extension = p[8];
    e.low_delay = p[9] >> 7;
    e.frame_rate_extension_n = (p[9] >> 5) & 3u;
    e.frame_rate_extension_d = p[9] & 0x1Fu;

    ctx.decoded.progressive_sequence = static_cast<std::uint8_t>(e.progressive_sequence);
    ctx.decoded.chroma_format = static_cast<std::uint8_t>(e.chroma_format);
    ctx.decoded.horizontal_size = (ctx.decoded.horizontal_size & 0xFFF) | e.horizontal_size_extension << 12;
    ctx.decoded.vertical_size = (ctx.decoded.vertical_size & 0xFFF) | e.vertical_size_extension << 12;
    ctx.decoded.bit_rate = (ctx.decoded.bit_rate & 0x3FFFF) | e.bit_rate_extension << 18;
    ctx.decoded.vbv_buffer_size = (ctx.decoded.vbv_buffer_size & 0x3FF) | e.vbv_buffer_size_extension << 10;
    ctx.decoded.frame_rate_extension_n = static_cast<std::uint8_t>(e.frame_rate_extension_n);
    ctx.decoded.frame_rate_extension_d = static_cast<std::uint8_t>(e.frame_rate_extension_d);
    ctx.decoded.sequence_extension_seen = true;

    ParseResult result = CONTINUE;
    if (ctx.sink->sequence_extension) result = ctx.sink->sequence_extension(ctx, ctx.sink_state, e);
    ctx.win.pos += 9;
    return result;
}

ParseResult report_sequence_extension(StreamContext& ctx, void*,
                                      const syntax::SequenceExtension& e) {
    // frame_rate = frame_rate_value * (n + 1) / (d + 1), kept in single
    // precision.
    float frame_rate = static_cast<float>(frame_rate_value(ctx.decoded.frame_rate_code) *
                                          (e.frame_rate_extension_n + 1) /
                                          (e.frame_rate_extension_d + 1));
    char frame_rate_text[32];
    format_two_decimals(frame_rate, frame_rate_text, sizeof frame_rate_text);

    // "    PROFILE@LEVEL %ux%u (%s) %sfps/nominal bitrate=%llubps/VBV buffer=%u\n"
    // "    frame type=%s/chroma=%s/constrained=%s/low delay=%s\n"
    ReportText block;
    put_header_line(block, ctx, "SEQUENCE_EXTENSION");
    put_text(block, "    ");
    put_profile_and_level(block, e.profile_and_level_indication);
    put_text(block, " ");
    put_decimal(block, ctx.decoded.horizontal_size);
    put_text(block, "x");
    put_decimal(block, ctx.decoded.vertical_size);
    put_text(block, " (");
    put_text(block, aspect_ratio_name(ctx.decoded.aspect_ratio_information));
    put_text(block, ") ");
    put_text(block, frame_rate_text);
    put_text(block, "fps/nominal bitrate=");
    put_decimal(block, static_cast<std::uint64_t>(ctx.decoded.bit_rate) * 400);
    put_text(block, "bps/VBV buffer=");
    put_decimal(block, ctx.decoded.vbv_buffer_size);
    put_text(block, "\n    frame type=");
    put_text(block, ctx.decoded.progressive_sequence ? "progressive" : "interlaced");
    put_text(block, "/chroma=");
    put_text(block, chroma_format_name(ctx.decoded.chroma_format));
    put_text(block, "/constrained=");
    put_text(block, yes_no(ctx.decoded.constrained_parameters_flag));
    put_text(block, "/low delay=");
    put_text(block, yes_no(e.low_delay));
    put_text(block, "\n");
    write_report(ctx, block);
    return CONTINUE;
}
