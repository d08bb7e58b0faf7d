#include <cstdio>

#include "app/run_program.hpp"
#include "platform/file.hpp"
#include "text/message.hpp"

int m2vhdr_main(int argc, char** argv) {
    platform_prepare_console(stdout);
    UserLocale locale = platform_user_locale();
    choose_messages(locale.messages, locale.codeset);
    int status = run_program(argc, argv, stdout, stderr);
    // A report that could not be written out is a failed run too.
    bool lost = std::fflush(stdout) != 0 || std::ferror(stdout);
    if (lost && status == EXIT_OK) status = EXIT_FAILED;
    return status;
}
