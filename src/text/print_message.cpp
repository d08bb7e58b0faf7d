#include <cstdarg>
#include <cstdlib>

#include "platform/file.hpp"
#include "text/message.hpp"

Language message_language = Language::JAPANESE;
MessageEncoding message_encoding = MessageEncoding::SHIFT_JIS;
bool original_locale = true;

const char* message_format(std::FILE* stream, const Message& message) {
    if (message_language == Language::ENGLISH) return message.english;
    if (message_encoding == MessageEncoding::UTF8 || platform_is_text_console(stream))
        return message.japanese;
    return message_encoding == MessageEncoding::EUC_JP ? message.euc_jp : message.shift_jis;
}

void print_message_args(std::FILE* stream, const Message* message, ...) {
    std::va_list args;
    va_start(args, message);
    const char* format = message_format(stream, *message);
    if (!platform_is_text_console(stream)) {
        std::vfprintf(stream, format, args);
        va_end(args);
        return;
    }
    // A console takes the UTF-8 text whole, in one write.
    std::va_list again;
    va_copy(again, args);
    char local[256];
    int size = std::vsnprintf(local, sizeof local, format, args);
    char* text = local;
    if (size >= static_cast<int>(sizeof local)) {
        text = static_cast<char*>(std::malloc(static_cast<std::size_t>(size) + 1));
        if (text) std::vsnprintf(text, static_cast<std::size_t>(size) + 1, format, again);
    }
    if (size >= 0 && text) platform_write_console(stream, text, static_cast<std::size_t>(size));
    if (text != local) std::free(text);
    va_end(again);
    va_end(args);
}
