// The derived values of a sequence, under ffprobe's key names where it has
// one: the picture size with the extension's high bits, the display aspect
// ratio, the exact frame rate, the bit rate in bit/s and the VBV buffer in
// bits, profile and level as the text report names them, the chroma format
// ("4:2:0").
#include <cstdio>
#include <cstring>
#include <numeric>

#include "headers/headers.hpp"
#include "json/json_report.hpp"

namespace {

// aspect_ratio_information 2 to 4 of an MPEG-2 sequence.
constexpr const char* display_aspect_ratios[] = {"4:3", "16:9", "221:100"};

// "a<separator>b" reduced, or null when b is 0.
void member_ratio(JsonWriter& w, const char* key, std::uint64_t a, std::uint64_t b,
                  char separator) {
    json_key(w, key);
    if (b == 0) {
        json_null(w);
        return;
    }
    std::uint64_t g = std::gcd(a, b);
    char text[48];
    std::snprintf(text, sizeof text, "%llu%c%llu", static_cast<unsigned long long>(a / g),
                  separator, static_cast<unsigned long long>(b / g));
    json_string(w, text);
}

const char* or_unknown(const char* name) { return name[0] ? name : "unknown"; }

// profile_and_level_indication as the report names it, split at the '@'.
void member_profile_and_level(JsonWriter& w, unsigned indication) {
    const char* profile = "unknown";
    const char* level = "unknown";
    char escaped[32];
    if (indication & 0x80) {  // escape bit: the pair has one name
        const char* name = escape_profile_name(indication);
        const char* at = std::strchr(name, '@');
        if (at && static_cast<std::size_t>(at - name) < sizeof escaped) {
            std::memcpy(escaped, name, static_cast<std::size_t>(at - name));
            escaped[at - name] = '\0';
            profile = escaped;
            level = at + 1;
        }
    } else {
        profile = or_unknown(profile_name((indication >> 4) & 7));
        level = level_name(indication & 0x0F);
    }
    json_member_string(w, "profile", profile);
    json_member_string(w, "level", level);
}

}  // namespace

void json_sequence_values(JsonWriter& w, const StreamContext& ctx, bool mpeg2,
                          unsigned profile_and_level_indication) {
    json_member_uint(w, "width", ctx.decoded.horizontal_size);
    json_member_uint(w, "height", ctx.decoded.vertical_size);
    // An MPEG-1 header codes the shape of a sample instead, not named here.
    if (mpeg2) {
        unsigned code = ctx.decoded.aspect_ratio_information;
        if (code == 1)  // square samples: the picture's own shape
            member_ratio(w, "display_aspect_ratio", ctx.decoded.horizontal_size, ctx.decoded.vertical_size, ':');
        else if (code >= 2 && code <= 4)
            json_member_string(w, "display_aspect_ratio", display_aspect_ratios[code - 2]);
        else
            member_ratio(w, "display_aspect_ratio", 0, 0, ':');
    }
    FrameRateFraction rate = frame_rate_fraction(ctx.decoded.frame_rate_code);
    // An MPEG-1 sequence has no extension to scale the rate.
    unsigned n = mpeg2 ? ctx.decoded.frame_rate_extension_n : 0u;
    unsigned d = mpeg2 ? ctx.decoded.frame_rate_extension_d : 0u;
    member_ratio(w, "r_frame_rate", std::uint64_t{rate.numerator} * (n + 1),
                 std::uint64_t{rate.denominator} * (d + 1), '/');
    json_member_uint(w, "bit_rate", std::uint64_t{ctx.decoded.bit_rate} * 400);
    json_member_uint(w, "vbv_buffer_size", std::uint64_t{ctx.decoded.vbv_buffer_size} * 16384);
    if (mpeg2) member_profile_and_level(w, profile_and_level_indication);
    // Not "chroma_format": that is the extension's coded value beside it.
    json_key(w, "chroma_format_name");
    if (!mpeg2)
        json_string(w, "4:2:0");
    else if (ctx.decoded.chroma_format >= 1)
        json_string(w, chroma_format_name(ctx.decoded.chroma_format));
    else
        json_null(w);
}
