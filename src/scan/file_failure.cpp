#include "scan/file_failure.hpp"

#include "messages.hpp"

void print_file_failure(const StreamContext& ctx, FileFailure what) {
    static constexpr const Message* original[] = {&msg::open_failed, &msg::read_error,
                                                  &msg::seek_error, &msg::write_error};
    static constexpr const Message* named[] = {&msg::open_failed_named, &msg::read_failed_named,
                                               &msg::seek_failed_named, &msg::write_failed_named};
    auto index = static_cast<unsigned>(what);
    if (ctx.original_texts || !ctx.path) {
        print_message(ctx.err, *original[index]);
        return;
    }
    char reason[256];
    int code = platform_last_error();
    if (code != 0) platform_error_text(ctx.err, code, reason, sizeof reason);
    else std::snprintf(reason, sizeof reason, "%s", message_format(ctx.err, msg::reason_unknown));
    print_message(ctx.err, *named[index], ctx.path, reason);
}
