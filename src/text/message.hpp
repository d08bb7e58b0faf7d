// A message for the user: its UTF-8 text, and the same text in Shift_JIS
// derived from it while compiling, and the one function that prints it.
#pragma once

#include <cstdio>

#include "text/shift_jis.hpp"

inline constexpr std::size_t MESSAGE_CAPACITY = 128;

struct Message {
    const char* utf8;
    char shift_jis[MESSAGE_CAPACITY];

    consteval Message(const char* text) : utf8(text), shift_jis{} {
        encode_shift_jis(text, shift_jis, MESSAGE_CAPACITY);
    }
};

// The encoding of messages written as bytes: Shift_JIS unless main has
// found a UTF-8 locale (platform_message_encoding). Tests set it directly.
enum class MessageEncoding { SHIFT_JIS, UTF8 };
extern MessageEncoding message_encoding;

// Prints `message`, formatted with the printf-style arguments its text asks
// for: on a console that takes text (Windows) as that text, elsewhere as the
// bytes of message_encoding.
void print_message_args(std::FILE* stream, const Message* message, ...);

template <typename... Args>
void print_message(std::FILE* stream, const Message& message, Args... args) {
    print_message_args(stream, &message, args...);
}
