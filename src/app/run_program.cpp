#include "app/run_program.hpp"

#include "app/options.hpp"
#include "app/version.hpp"
#include "messages.hpp"
#include "batch/batch.hpp"
#include "exit_status.hpp"

int run_program(int argc, char** argv, std::FILE* out, std::FILE* err) {
    const char* program = argc > 0 && argv[0] ? argv[0] : "m2vhdr";
    Options options;
    UsageError usage = parse_options(argc, argv, &options);
    if (usage.problem != UsageProblem::NONE) {
        print_usage_error(err, usage, options, program);
        return EXIT_USAGE;
    }
    if (options.help) {
        print_help(out);
        return EXIT_OK;
    }
    if (options.version) {
        std::fprintf(out, "m2vhdr %s\n", program_version);
        return EXIT_OK;
    }
    return run_batch(options, out, err);
}
