// The language and the encoding of messages, from the names of the user's
// locale.
#include <cstring>

#include "text/message.hpp"

namespace {

// `a` and `b` the same, ignoring case and the '-' and '_' that codeset
// names differ in ("UTF-8", "utf8", "EUC-JP", "eucJP").
bool same_codeset(const char* a, const char* b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (;;) {
        while (*a == '-' || *a == '_') ++a;
        while (*b == '-' || *b == '_') ++b;
        if (lower(*a) != lower(*b)) return false;
        if (*a == '\0') return true;
        ++a;
        ++b;
    }
}

// The language of a locale name: what stands before '_', '.' or '@'
// ("ja_JP.UTF-8": "ja").
bool language_is(const char* name, const char* language) {
    std::size_t length = std::strcspn(name, "_.@");
    return length == std::strlen(language) && std::strncmp(name, language, length) == 0;
}

}  // namespace

void choose_messages(const char* messages, const char* codeset) {
    // C and POSIX (C.UTF-8 too) keep the messages the tool has always
    // written.
    original_locale = !messages || *messages == '\0' || language_is(messages, "C") ||
                      language_is(messages, "POSIX");
    bool japanese = original_locale || language_is(messages, "ja");
    message_language = japanese ? Language::JAPANESE : Language::ENGLISH;
    message_encoding = MessageEncoding::SHIFT_JIS;
    if (codeset && same_codeset(codeset, "UTF-8")) message_encoding = MessageEncoding::UTF8;
    if (codeset && same_codeset(codeset, "EUC-JP")) message_encoding = MessageEncoding::EUC_JP;
}
