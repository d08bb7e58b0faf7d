#include <cstdarg>

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

namespace {

// Appends the text of `format` with `args` to `buffer`.
void append_formatted(std::string* buffer, const char* format, std::va_list args) {
    std::va_list again;
    va_copy(again, args);
    char local[256];
    int size = std::vsnprintf(local, sizeof local, format, args);
    if (size < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(size) < sizeof local) {
        buffer->append(local, static_cast<std::size_t>(size));
    } else {
        std::size_t at = buffer->size();
        buffer->resize(at + static_cast<std::size_t>(size) + 1);
        std::vsnprintf(buffer->data() + at, static_cast<std::size_t>(size) + 1, format, again);
        buffer->resize(at + static_cast<std::size_t>(size));
    }
    va_end(again);
}

}  // namespace

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
    std::string text;
    append_formatted(&text, format, args);
    va_end(args);
    platform_write_console(stream, text.data(), text.size());
}

void render_message_args(std::string* buffer, std::FILE* destination, const Message* message, ...) {
    std::va_list args;
    va_start(args, message);
    append_formatted(buffer, message_format(destination, *message), args);
    va_end(args);
}
