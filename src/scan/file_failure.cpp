#include "scan/file_failure.hpp"

#include "messages.hpp"

void failure_reason(std::FILE* stream, int code, char* text, std::size_t size) {
    if (code != 0) platform_error_text(stream, code, text, size);
    else std::snprintf(text, size, "%s", message_format(stream, msg::reason_unknown));
}

void print_file_failure(const StreamContext& ctx, FileFailure what) {
    print_named_file_failure(ctx, ctx.run.path, what);
}

void print_named_file_failure(const StreamContext& ctx, const char* name, FileFailure what) {
    static constexpr const Message* original[] = {&msg::open_failed, &msg::read_error,
                                                  &msg::seek_error, &msg::write_error};
    static constexpr const Message* named[] = {&msg::open_failed_named, &msg::read_failed_named,
                                               &msg::seek_failed_named, &msg::write_failed_named};
    auto index = static_cast<unsigned>(what);
    if (ctx.run.original_texts || !name) {
        print_message(ctx.run.err, *original[index]);
        return;
    }
    char reason[256];
    failure_reason(ctx.run.err, platform_last_error(), reason, sizeof reason);
    print_message(ctx.run.err, *named[index], name, reason);
}
