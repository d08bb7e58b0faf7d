// A message for the user, in Japanese and in English, and the one function
// that prints it.
//
// Each message is written once, with both texts side by side:
//
//   inline constexpr Message open_failed{"読み取りファイルが開けませんでした。\n",
//                                        "The input file could not be opened.\n"};
//
// The Japanese text is UTF-8; its Shift_JIS and EUC-JP forms are derived from
// it while compiling (text/encode_jis.hpp). The English text is ASCII, the
// same in every encoding. The build stops at a message whose texts are empty,
// whose English is not ASCII, whose Japanese has a character that
// text/jis_codes.hpp lacks (tools/make-jis-table adds it), or whose two texts
// do not take the same printf arguments in the same order.
#pragma once

#include <cstdio>
#include <string>

#include "text/encode_jis.hpp"

inline constexpr std::size_t MESSAGE_CAPACITY = 192;

// Never defined: reached only while compiling a message whose two texts
// do not go together, which stops the build there.
void message_texts_do_not_match();

namespace message_check {

// The next printf conversion of `s` from `*at` ("%llu", "%08llx", "%s"),
// with `*at` moved past it; empty at the end. "%%" is no conversion.
struct Conversion {
    const char* start = nullptr;
    unsigned length = 0;
};
constexpr bool is_conversion(char c) {
    for (const char* k = "diouxXcsfFeEgGaAp"; *k != '\0'; ++k) {
        if (*k == c) return true;
    }
    return false;
}

constexpr Conversion next_conversion(const char* s, unsigned* at) {
    for (; s[*at] != '\0'; ++*at) {
        if (s[*at] != '%') continue;
        if (s[*at + 1] == '%') {
            ++*at;
            continue;
        }
        Conversion c{s + *at, 1};
        while (s[*at + c.length] != '\0' && !is_conversion(s[*at + c.length])) ++c.length;
        if (s[*at + c.length] == '\0') message_texts_do_not_match();  // an unfinished conversion
        ++c.length;
        *at += c.length;
        return c;
    }
    return {};
}

constexpr void check_pair(const char* japanese, const char* english) {
    if (japanese[0] == '\0' || english[0] == '\0') message_texts_do_not_match();
    for (const char* s = english; *s != '\0'; ++s) {
        if (static_cast<unsigned char>(*s) >= 0x80) message_texts_do_not_match();
    }
    unsigned at_japanese = 0;
    unsigned at_english = 0;
    for (;;) {
        Conversion a = next_conversion(japanese, &at_japanese);
        Conversion b = next_conversion(english, &at_english);
        if (a.length != b.length) message_texts_do_not_match();
        if (a.length == 0) return;
        for (unsigned i = 0; i < a.length; ++i) {
            if (a.start[i] != b.start[i]) message_texts_do_not_match();
        }
    }
}

}  // namespace message_check

struct Message {
    const char* japanese;  // UTF-8
    const char* english;   // ASCII
    char shift_jis[MESSAGE_CAPACITY];
    char euc_jp[MESSAGE_CAPACITY];

    consteval Message(const char* japanese_text, const char* english_text)
        : japanese(japanese_text), english(english_text), shift_jis{}, euc_jp{} {
        message_check::check_pair(japanese_text, english_text);
        encode_jis(japanese_text, JisEncoding::SHIFT_JIS, shift_jis, MESSAGE_CAPACITY);
        encode_jis(japanese_text, JisEncoding::EUC_JP, euc_jp, MESSAGE_CAPACITY);
    }
};

// The language and the encoding of messages written as bytes: Japanese in
// Shift_JIS unless main has found otherwise in the user's locale
// (choose_messages). Main sets them once, before any file is opened, and
// nothing writes them after that, so the jobs of a run may read them from
// any thread. Tests set them directly.
enum class Language { JAPANESE, ENGLISH };
enum class MessageEncoding { SHIFT_JIS, UTF8, EUC_JP };
extern Language message_language;
extern MessageEncoding message_encoding;
// True in the locale the tool's first texts were written for (C, POSIX or
// none; Windows: a Japanese UI). There the original command lines keep the
// texts they have always printed; everything else prints the newer ones.
extern bool original_locale;

// Sets both from the user's locale: `messages` the name of the locale that
// decides the language of messages, `codeset` the codeset of text (either
// null when unknown). Japanese for a Japanese locale and for C, POSIX and
// none; English for any other language. UTF-8 or EUC-JP where the codeset
// is one of them, Shift_JIS otherwise. `original_locale` for C, POSIX and
// none.
void choose_messages(const char* messages, const char* codeset);

// The text of `message` that print_message writes on `stream`, for a
// message put together from others: the English text, the Japanese as
// UTF-8 on a console that takes text and in a UTF-8 locale, or its
// Shift_JIS or EUC-JP bytes.
const char* message_format(std::FILE* stream, const Message& message);

// Prints `message`, formatted with the printf-style arguments its text asks
// for: on a console that takes text (Windows) as that text, elsewhere as the
// bytes of message_encoding.
void print_message_args(std::FILE* stream, const Message* message, ...);

template <typename... Args>
void print_message(std::FILE* stream, const Message& message, Args... args) {
    print_message_args(stream, &message, args...);
}

// Appends to `buffer` what print_message would write on `destination`: the
// same text, formatted with the same arguments, for output that waits in a
// job's buffer before it goes out. On a console that takes text, that is
// the UTF-8 text the console is given.
void render_message_args(std::string* buffer, std::FILE* destination, const Message* message, ...);

template <typename... Args>
void render_message(std::string& buffer, std::FILE* destination, const Message& message,
                    Args... args) {
    render_message_args(&buffer, destination, &message, args...);
}
