// The Japanese messages in Shift_JIS and in EUC-JP, worked out while
// compiling from their UTF-8 text and the table of text/jis_codes.hpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/jis_codes.hpp"

enum class JisEncoding { SHIFT_JIS, EUC_JP };

// Never defined: reached only while compiling a message that the table or
// the room given cannot encode, which stops the build there (a new
// character: run tools/make-jis-table).
void message_not_encodable_in_jis();

// The EUC-JP pair of a Shift_JIS pair: both encode the same JIS X 0208 row
// and cell, EUC-JP as row + 0xA0, cell + 0xA0.
constexpr std::uint16_t euc_jp_of_shift_jis(std::uint16_t shift_jis) {
    unsigned lead = shift_jis >> 8u;
    unsigned trail = shift_jis & 0xFFu;
    unsigned row = (lead - (lead <= 0x9F ? 0x81u : 0xC1u)) * 2 + 1;
    unsigned cell;
    if (trail >= 0x9F) {
        ++row;
        cell = trail - 0x9E;
    } else {
        cell = trail - (trail < 0x80 ? 0x3Fu : 0x40u);
    }
    return static_cast<std::uint16_t>((row + 0xA0) << 8 | (cell + 0xA0));
}

// Converts the UTF-8 `text` into `out` (room for `capacity` bytes, the
// terminating zero included). ASCII stays as it is; every other character
// must be one of jis_codes.
constexpr void encode_jis(const char* text, JisEncoding encoding, char* out, std::size_t capacity) {
    std::size_t n = 0;
    auto put = [&](unsigned byte) {
        if (n + 1 >= capacity) message_not_encodable_in_jis();
        out[n++] = static_cast<char>(byte);
    };
    for (const char* s = text; *s != '\0';) {
        unsigned lead = static_cast<unsigned char>(*s);
        if (lead < 0x80) {
            put(lead);
            ++s;
            continue;
        }
        // Two- and three-byte sequences cover every character of JIS X 0208.
        int trail = lead >= 0xE0 ? 2 : 1;
        char32_t code_point = lead >= 0xE0 ? lead & 0x0Fu : lead & 0x1Fu;
        ++s;
        for (int i = 0; i < trail; ++i, ++s) {
            if ((static_cast<unsigned char>(*s) & 0xC0u) != 0x80u) message_not_encodable_in_jis();
            code_point = code_point << 6 | (static_cast<unsigned char>(*s) & 0x3Fu);
        }
        unsigned code = 0;
        for (const JisCode& c : jis_codes) {
            if (c.code_point == code_point) code = c.shift_jis;
        }
        if (code == 0) message_not_encodable_in_jis();
        if (encoding == JisEncoding::EUC_JP) code = euc_jp_of_shift_jis(static_cast<std::uint16_t>(code));
        put(code >> 8);
        put(code & 0xFFu);
    }
    out[n] = '\0';
}
