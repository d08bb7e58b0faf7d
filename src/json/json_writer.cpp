#include "json/json_writer.hpp"

#include <cmath>
#include <cstring>

namespace {

void put(JsonWriter& w, const char* text, std::size_t n) {
    if (n > JsonWriter::CAPACITY - w.length) {
        std::fwrite(w.buffer, 1, w.length, w.out);
        w.length = 0;
        if (n > JsonWriter::CAPACITY) {
            std::fwrite(text, 1, n, w.out);
            return;
        }
    }
    std::memcpy(w.buffer + w.length, text, n);
    w.length += n;
}

void put(JsonWriter& w, const char* text) { put(w, text, std::strlen(text)); }

void put_char(JsonWriter& w, char c) { put(w, &c, 1); }

void new_line(JsonWriter& w, unsigned depth) {
    static constexpr char spaces[] = "                                ";
    put_char(w, '\n');
    put(w, spaces, 2 * depth < sizeof spaces - 1 ? 2 * depth : sizeof spaces - 1);
}

// The separator before a value or a key.
void before_value(JsonWriter& w) {
    if (w.after_key) {
        w.after_key = false;
        return;
    }
    if (w.depth == 0) return;
    bool& has = w.has_members[w.depth - 1];
    if (w.depth <= w.pretty_depth) {
        if (has) put_char(w, ',');
        new_line(w, w.depth);
    } else if (has) {
        put(w, ", ", 2);
    }
    has = true;
}

void open(JsonWriter& w, char bracket) {
    before_value(w);
    put_char(w, bracket);
    if (w.depth < JsonWriter::MAX_DEPTH) w.has_members[w.depth] = false;
    ++w.depth;
}

void close(JsonWriter& w, char bracket) {
    --w.depth;
    bool had = w.depth < JsonWriter::MAX_DEPTH && w.has_members[w.depth];
    if (w.depth < w.pretty_depth && had) new_line(w, w.depth);
    put_char(w, bracket);
}

// Length of the well-formed UTF-8 sequence at `s` (at most `left` bytes),
// or 0 when it is not one.
std::size_t utf8_length(const unsigned char* s, std::size_t left) {
    unsigned char c = s[0];
    std::size_t n;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;       // no overlong forms
        else if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        else if (c == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (left < n || s[1] < low || s[1] > high) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (s[i] < 0x80 || s[i] > 0xBF) return 0;
    return n;
}

}  // namespace

void json_begin(JsonWriter& w, std::FILE* out, JsonLayout layout) {
    w.out = out;
    w.pretty_depth = layout == JsonLayout::PRETTY ? 2 : 0;
    w.length = 0;
    w.depth = 0;
    w.after_key = false;
}

void json_flush(JsonWriter& w) {
    if (w.depth == 0) put_char(w, '\n');
    std::fwrite(w.buffer, 1, w.length, w.out);
    w.length = 0;
}

void json_begin_object(JsonWriter& w) { open(w, '{'); }
void json_end_object(JsonWriter& w) { close(w, '}'); }
void json_begin_array(JsonWriter& w) { open(w, '['); }
void json_end_array(JsonWriter& w) { close(w, ']'); }

void json_key(JsonWriter& w, const char* key) {
    before_value(w);
    std::size_t n = std::strlen(key);
    if (n + 4 <= JsonWriter::CAPACITY - w.length) {  // the usual case: one copy
        char* to = w.buffer + w.length;
        to[0] = '"';
        std::memcpy(to + 1, key, n);
        std::memcpy(to + 1 + n, "\": ", 3);
        w.length += n + 4;
    } else {
        put_char(w, '"');
        put(w, key, n);
        put(w, "\": ", 3);
    }
    w.after_key = true;
}

void json_uint(JsonWriter& w, std::uint64_t value) {
    before_value(w);
    char digits[24];
    std::size_t n = sizeof digits;
    do {
        digits[--n] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    put(w, digits + n, sizeof digits - n);
}

void json_int(JsonWriter& w, std::int64_t value) {
    if (value < 0) {
        before_value(w);
        put_char(w, '-');
        w.after_key = true;  // the digits follow without a separator
        json_uint(w, 0 - static_cast<std::uint64_t>(value));
        return;
    }
    json_uint(w, static_cast<std::uint64_t>(value));
}

void json_fixed(JsonWriter& w, double value, int decimals) {
    if (!std::isfinite(value)) {
        json_null(w);
        return;
    }
    before_value(w);
    char text[64];
    int n = std::snprintf(text, sizeof text, "%.*f", decimals, value);
    if (n > 0) put(w, text, static_cast<std::size_t>(n) < sizeof text ? static_cast<std::size_t>(n) : sizeof text - 1);
}

void json_bool(JsonWriter& w, bool value) {
    before_value(w);
    put(w, value ? "true" : "false");
}

void json_null(JsonWriter& w) {
    before_value(w);
    put(w, "null", 4);
}

void json_string(JsonWriter& w, const char* text, std::size_t length) {
    static constexpr char hex[] = "0123456789abcdef";
    before_value(w);
    put_char(w, '"');
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < length) {
        // A run of printable ASCII is copied as it stands.
        std::size_t run = i;
        while (run < length && s[run] >= 0x20 && s[run] < 0x80 && s[run] != '"' && s[run] != '\\')
            ++run;
        if (run > i) {
            put(w, text + i, run - i);
            i = run;
            continue;
        }
        unsigned char c = s[i];
        if (c == '"' || c == '\\') {
            const char escaped[2] = {'\\', static_cast<char>(c)};
            put(w, escaped, 2);
            ++i;
        } else if (c < 0x20) {
            const char escaped[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            put(w, escaped, 6);
            ++i;
        } else {
            std::size_t n = utf8_length(s + i, length - i);
            if (n == 0) {
                put(w, "\xEF\xBF\xBD", 3);  // U+FFFD REPLACEMENT CHARACTER
                ++i;
            } else {
                put(w, text + i, n);
                i += n;
            }
        }
    }
    put_char(w, '"');
}

void json_string(JsonWriter& w, const char* text) { json_string(w, text, std::strlen(text)); }

void json_hex(JsonWriter& w, const std::uint8_t* bytes, std::size_t count) {
    static constexpr char hex[] = "0123456789abcdef";
    before_value(w);
    put_char(w, '"');
    for (std::size_t i = 0; i < count; ++i) {
        const char pair[2] = {hex[bytes[i] >> 4], hex[bytes[i] & 15]};
        put(w, pair, 2);
    }
    put_char(w, '"');
}
