// Shift_JIS (code page 932) of the characters the messages use, worked out
// while compiling: the messages are written once, as UTF-8, and their
// Shift_JIS bytes come from this table.
#pragma once

#include <cstddef>
#include <cstdint>

// Each character outside ASCII in a message, by code point, with its
// two-byte Shift_JIS code. A message with a character missing here does not
// compile; tests/messages_test.cpp checks every pair against iconv.
struct ShiftJisCode {
    char32_t code_point;
    std::uint16_t shift_jis;
};
inline constexpr ShiftJisCode shift_jis_codes[] = {
    {0x3002, 0x8142}, {0x3048, 0x82A6}, {0x304B, 0x82A9}, {0x304C, 0x82AA}, {0x304D, 0x82AB},
    {0x3051, 0x82AF}, {0x3057, 0x82B5}, {0x3059, 0x82B7}, {0x305B, 0x82B9}, {0x305F, 0x82BD},
    {0x3064, 0x82C2}, {0x3067, 0x82C5}, {0x306F, 0x82CD}, {0x307E, 0x82DC}, {0x307F, 0x82DD},
    {0x308A, 0x82E8}, {0x3093, 0x82F1}, {0x30A1, 0x8340}, {0x30A4, 0x8343}, {0x30A8, 0x8347},
    {0x30AF, 0x834E}, {0x30B1, 0x8350}, {0x30B3, 0x8352}, {0x30B7, 0x8356}, {0x30B9, 0x8358},
    {0x30C0, 0x835F}, {0x30C1, 0x8360}, {0x30C3, 0x8362}, {0x30C8, 0x8367}, {0x30C9, 0x8368},
    {0x30D0, 0x836F}, {0x30D4, 0x8373}, {0x30D5, 0x8374}, {0x30D8, 0x8377}, {0x30E1, 0x8381},
    {0x30E2, 0x8382}, {0x30E3, 0x8383}, {0x30E9, 0x8389}, {0x30EA, 0x838A}, {0x30EB, 0x838B},
    {0x30F3, 0x8393}, {0x30FC, 0x815B}, {0x4E0D, 0x9573}, {0x4EE5, 0x88C8}, {0x4FDD, 0x95DB},
    {0x51E6, 0x8F88}, {0x53D6, 0x8EE6}, {0x544A, 0x8D90}, {0x5916, 0x8A4F}, {0x5C64, 0x9177},
    {0x5F15, 0x88F8}, {0x5F35, 0x92A3}, {0x6271, 0x88B5}, {0x62E1, 0x8A67}, {0x6570, 0x9094},
    {0x66F8, 0x8F91}, {0x6B63, 0x90B3}, {0x7406, 0x979D}, {0x78BA, 0x8A6D}, {0x898B, 0x8CA9},
    {0x8AAD, 0x93C7}, {0x8B66, 0x8C78}, {0x8FBC, 0x8D9E}, {0x958B, 0x8A4A},
};

// Never defined: reached only while compiling a message that the table or
// the room given cannot encode, which stops the build there.
void message_not_encodable_in_shift_jis();

// Converts the UTF-8 `text` into `out` (room for `capacity` bytes, the
// terminating zero included). ASCII stays as it is; every other character
// must be one of shift_jis_codes.
constexpr void encode_shift_jis(const char* text, char* out, std::size_t capacity) {
    std::size_t n = 0;
    auto put = [&](unsigned byte) {
        if (n + 1 >= capacity) message_not_encodable_in_shift_jis();
        out[n++] = static_cast<char>(byte);
    };
    for (const char* s = text; *s != '\0';) {
        unsigned lead = static_cast<unsigned char>(*s);
        if (lead < 0x80) {
            put(lead);
            ++s;
            continue;
        }
        // Two- and three-byte sequences cover every character a Shift_JIS
        // table can hold.
        int trail = lead >= 0xE0 ? 2 : 1;
        char32_t code_point = lead >= 0xE0 ? lead & 0x0Fu : lead & 0x1Fu;
        ++s;
        for (int i = 0; i < trail; ++i, ++s) {
            code_point = code_point << 6 | (static_cast<unsigned char>(*s) & 0x3Fu);
        }
        unsigned code = 0;
        for (const ShiftJisCode& c : shift_jis_codes) {
            if (c.code_point == code_point) code = c.shift_jis;
        }
        if (code == 0) message_not_encodable_in_shift_jis();
        put(code >> 8);
        put(code & 0xFFu);
    }
    out[n] = '\0';
}
