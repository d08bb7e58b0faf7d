// A streaming JSON writer (RFC 8259): values are written out as they come,
// no document is kept in memory.
//
// The two outer levels put each member on a line of its own; deeper
// containers (a header's entry, an f_code pair) stay on one line:
//
//   {
//     "file": "a.m2v",
//     "headers": [
//       {"offset": 0, "name": "SEQUENCE_HEADER_CODE", "f_code": [[1, 2], [15, 15]]}
//     ]
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// PRETTY as above; ONE_LINE: the whole document on one line (JSON Lines),
// members apart by ", " as in the deeper containers above.
enum class JsonLayout { PRETTY, ONE_LINE };

struct JsonWriter {
    static constexpr std::size_t CAPACITY = 1u << 16;
    static constexpr unsigned MAX_DEPTH = 16;
    std::FILE* out = nullptr;
    char buffer[CAPACITY];
    std::size_t length = 0;
    unsigned depth = 0;              // open containers
    bool has_members[MAX_DEPTH] = {};  // per open container
    bool after_key = false;
    unsigned pretty_depth = 2;  // containers to this depth put members on lines
};

void json_begin(JsonWriter& w, std::FILE* out, JsonLayout layout = JsonLayout::PRETTY);
// Writes out what is buffered, ending the document with a line feed when
// every container is closed.
void json_flush(JsonWriter& w);

void json_begin_object(JsonWriter& w);
void json_end_object(JsonWriter& w);
void json_begin_array(JsonWriter& w);
void json_end_array(JsonWriter& w);
// A member name: plain ASCII letters, digits and '_', written as it stands.
void json_key(JsonWriter& w, const char* key);

void json_uint(JsonWriter& w, std::uint64_t value);
void json_int(JsonWriter& w, std::int64_t value);
// A number with `decimals` digits after the point (a fixed-point rendering
// of a measured value such as a duration in seconds).
void json_fixed(JsonWriter& w, double value, int decimals);
void json_bool(JsonWriter& w, bool value);
void json_null(JsonWriter& w);
// Any bytes as a JSON string: quotes, backslashes and control characters
// are escaped, bytes that are not well-formed UTF-8 become U+FFFD.
void json_string(JsonWriter& w, const char* text, std::size_t length);
void json_string(JsonWriter& w, const char* text);
// Bytes as a string of lowercase hexadecimal digits ("3f01").
void json_hex(JsonWriter& w, const std::uint8_t* bytes, std::size_t count);

// key and value in one call
inline void json_member_uint(JsonWriter& w, const char* key, std::uint64_t value) {
    json_key(w, key);
    json_uint(w, value);
}
inline void json_member_string(JsonWriter& w, const char* key, const char* text) {
    json_key(w, key);
    json_string(w, text);
}
