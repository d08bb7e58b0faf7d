// The bit-rate rewrite.
//
// The nominal bit rate in units of 400 bit/s, q, is split over two headers:
// its low 18 bits are bit_rate_value in bytes 8 to 10 of the sequence header,
// its bits 29..18 are bit_rate_extension in bytes 6 and 7 of the sequence
// extension. Only those bits change; the marker bits, the VBV size bits and
// the size extensions around them are written back as they were.
#include "messages.hpp"
#include "rewrite/rewrite.hpp"

namespace {

// Writes `count` bytes at `offset`, only if they lie inside the file.
// Returns false after printing the error.
bool patch(StreamContext& ctx, std::uint64_t offset, const std::uint8_t* bytes,
           std::uint32_t count) {
    if (ctx.file_size < 0 ||
        offset + count > static_cast<std::uint64_t>(ctx.file_size))
        return true;  // never lengthen the file
    if (!platform_seek(ctx.file, offset)) {
        print_message(ctx.err, msg::seek_error);
        return false;
    }
    std::uint32_t written = 0;
    if (!platform_write(ctx.file, bytes, count, &written) || written != count) {
        print_message(ctx.err, msg::write_error);
        return false;
    }
    return true;
}

}  // namespace

ParseResult rewrite_bit_rate(StreamContext& ctx) {
    const std::uint8_t* p = ctx.window + ctx.pos;
    std::uint32_t q = ctx.target_bit_rate / 400;

    // An extension cut short by the end of the file has no bit-rate field to
    // patch; its sequence header is left alone with it.
    if (bytes_held_at_pos(ctx) < 8) {
        ctx.pos += 9;
        return CONTINUE;
    }

    // Without a sequence header earlier in the file there is nothing to
    // patch but the extension itself.
    if (ctx.sequence_header_seen) {
        const std::uint8_t header[3] = {
            static_cast<std::uint8_t>(q >> 10),
            static_cast<std::uint8_t>(q >> 2),
            static_cast<std::uint8_t>((q & 3) << 6 | (ctx.sequence_header_byte_10 & 0x3F)),
        };
        if (!patch(ctx, ctx.sequence_header_offset + 8, header, 3)) return STOP;
    }

    const std::uint8_t extension[2] = {
        static_cast<std::uint8_t>((p[6] & 0xE0) | ((q >> 25) & 0x1F)),
        static_cast<std::uint8_t>(((q >> 17) & 0xFE) | (p[7] & 0x01)),
    };
    if (!patch(ctx, offset_of(ctx) + 6, extension, 2)) return STOP;

    print_progress(ctx, "\r");
    ctx.pos += 9;
    return CONTINUE;
}
