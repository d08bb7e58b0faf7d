#include "app/run_program.hpp"

#include <cstdlib>

#include "app/options.hpp"
#include "headers/header_sink.hpp"
#include "messages.hpp"
#include "rewrite/rewrite.hpp"
#include "scan/stream_context.hpp"

int run_program(int argc, char** argv, std::FILE* out, std::FILE* err) {
    StreamContext ctx;
    ctx.out = out;
    ctx.err = err;

    const char* program = argc > 0 && argv[0] ? argv[0] : "m2vhdr";
    Options options;
    if (!parse_options(argc, argv, &options)) {
        std::fprintf(err, msg::usage, program);
        return EXIT_USAGE;
    }
    if (options.help) {
        print_help(out);
        return EXIT_OK;
    }
    if (options.version) {
        std::fputs("m2vhdr " M2VHDR_VERSION "\n", out);
        return EXIT_OK;
    }

    ctx.sink = &report_text_sink;
    RewriteState rewrite;
    if (options.bit_rate || any_element(options.settings)) {
        ctx.mode = Mode::REWRITE;
        ctx.dry_run = options.dry_run;
        // A mistyped rate must not be written into every sequence of the file.
        if (options.bit_rate && !parse_bit_rate(options.bit_rate, &ctx.target_bit_rate)) {
            std::fprintf(err, msg::usage, program);
            return EXIT_USAGE;
        }
        start_rewrite(ctx, rewrite, options.settings, options.bit_rate != nullptr);
    }

    FileAccess access = ctx.mode == Mode::REWRITE && !ctx.dry_run ? FileAccess::READ_WRITE
                                                                  : FileAccess::READ;
    if (!platform_open(options.file, access, &ctx.file)) {
        std::fputs(msg::open_failed, err);
        return EXIT_FAILED;
    }

    // The window, with zeroed room behind the valid data for headers that the
    // end of the file cuts short.
    ctx.window = static_cast<std::uint8_t*>(std::calloc(WINDOW_SIZE + WINDOW_PADDING, 1));
    if (!ctx.window) {
        std::fputs(msg::out_of_memory, err);
        platform_close(ctx.file);
        return EXIT_FAILED;
    }

    int status = EXIT_OK;
    // The rewrite never writes past the size it sees here, so it cannot go
    // on without one.
    if (ctx.mode == Mode::REWRITE && !platform_size(ctx.file, &ctx.file_size)) {
        std::fputs(msg::read_error, err);
        status = EXIT_FAILED;
    } else if (scan_stream(ctx) == ScanOutcome::STOPPED) {
        status = EXIT_FAILED;
    } else if (ctx.mode == Mode::REWRITE && !finish_rewrite(ctx)) {
        status = EXIT_FAILED;
    }

    platform_close(ctx.file);
    std::free(ctx.window);
    return status;
}
