#include "app/options.hpp"

#include <cstring>

namespace {

// One row per option. `value` options take the next argument, or the text
// after '=' in the long form (`--name=VALUE`).
struct OptionRow {
    char short_name;        // 0 when there is none
    const char* long_name;  // without the leading "--"
    const char* value;      // the value's name in the help text; null: a flag
    const char* help;
    bool (*apply)(Options& options, const char* value);
};

bool set_help(Options& options, const char*) { return options.help = true; }
bool set_version(Options& options, const char*) { return options.version = true; }
bool set_stats(Options& options, const char*) { return options.stats = true; }
bool set_json(Options& options, const char*) { return options.json = true; }
bool set_plot(Options& options, const char* value) {
    options.plot = value;
    return options.stats = *value != '\0';
}

bool set_pulldown(Options& options, const char* value) {
    if (std::strcmp(value, "3:2") == 0) options.pulldown = PulldownRequest::APPLY;
    else if (std::strcmp(value, "none") == 0) options.pulldown = PulldownRequest::REMOVE;
    else return false;
    return true;
}

bool add_setting(Options& options, const char* value) {
    return parse_element_setting(value, &options.settings);
}
bool set_dry_run(Options& options, const char*) { return options.dry_run = true; }
bool set_check(Options& options, const char* value) {
    if (std::strcmp(value, "dvd") == 0) options.check = CheckProfile::DVD;
    else if (std::strcmp(value, "bluray") == 0) options.check = CheckProfile::BLURAY;
    else return false;
    return true;
}
bool set_demux(Options& options, const char*) { return options.demux = true; }

// A PID (up to 0x1fff) or a stream_id (up to 0xff): decimal, or hexadecimal
// after "0x".
bool set_stream(Options& options, const char* value) {
    int base = 10;
    if (value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        base = 16;
        value += 2;
    }
    long number = 0;
    if (*value == '\0') return false;
    for (; *value; ++value) {
        int digit;
        if (*value >= '0' && *value <= '9') digit = *value - '0';
        else if (base == 16 && *value >= 'a' && *value <= 'f') digit = *value - 'a' + 10;
        else if (base == 16 && *value >= 'A' && *value <= 'F') digit = *value - 'A' + 10;
        else return false;
        number = number * base + digit;
        if (number > 0x1fff) return false;
    }
    options.stream = number;
    return true;
}

constexpr OptionRow option_rows[] = {
    {'h', "help", nullptr, "print this help and exit", set_help},
    {0, "version", nullptr, "print the version and exit", set_version},
    {0, "stats", nullptr, "print the rates, a VBV check and the lowest safe rate", set_stats},
    {0, "json", nullptr, "write the report, the patches or the figures as JSON", set_json},
    {0, "plot", "FILE.svg", "with --stats, also draw the rates and the VBV", set_plot},
    {0, "pulldown", "3:2|none", "apply or remove soft 3:2 pulldown, in place", set_pulldown},
    {0, "set", "ELEMENT=VALUE", "set ELEMENT in every sequence, in place (repeatable)", add_setting},
    {0, "dry-run", nullptr, "print the patches a rewrite would write; write nothing", set_dry_run},
    {0, "check", "dvd|bluray", "say which rules of the authoring profile FILE breaks", set_check},
    {0, "demux", nullptr, "read the video inside a program or transport stream", set_demux},
    {0, "stream", "N", "with --demux, the video stream's PID or stream_id", set_stream},
};

const OptionRow* find_long(const char* name, std::size_t length) {
    for (const OptionRow& row : option_rows) {
        if (std::strlen(row.long_name) == length && std::strncmp(row.long_name, name, length) == 0)
            return &row;
    }
    return nullptr;
}

const OptionRow* find_short(char name) {
    for (const OptionRow& row : option_rows) {
        if (row.short_name != 0 && row.short_name == name) return &row;
    }
    return nullptr;
}

bool add_positional(Options& options, const char* argument, int* count) {
    if (*count == 0) options.file = argument;
    else if (*count == 1) options.bit_rate = argument;
    else return false;
    ++*count;
    return true;
}

}  // namespace

bool parse_options(int argc, char** argv, Options* options) {
    int positional = 0;
    bool ok = true;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (options_ended || argument[0] != '-' || argument[1] == '\0') {
            ok = add_positional(*options, argument, &positional) && ok;
            continue;
        }
        if (std::strcmp(argument, "--") == 0) {
            options_ended = true;
            continue;
        }

        const OptionRow* row;
        const char* value = nullptr;
        if (argument[1] == '-') {
            const char* name = argument + 2;
            const char* equals = std::strchr(name, '=');
            row = find_long(name, equals ? static_cast<std::size_t>(equals - name) : std::strlen(name));
            if (equals) {
                if (!row || !row->value) return false;
                value = equals + 1;
            }
        } else {
            row = argument[2] == '\0' ? find_short(argument[1]) : nullptr;
        }
        if (!row) return false;
        if (row->value && !value) {
            if (i + 1 >= argc) return false;
            value = argv[++i];
        }
        if (!row->apply(*options, value)) return false;
    }
    if (options->help || options->version) return true;
    return ok && positional >= 1;
}

void print_help(std::FILE* out) {
    std::fputs(
        "Usage: m2vhdr [OPTION]... FILE            report the headers of FILE\n"
        "       m2vhdr [OPTION]... FILE BITRATE    set the nominal bit rate of every\n"
        "                                          sequence of FILE, in place\n"
        "       m2vhdr [OPTION]... FILE auto       set it to the lowest rate at which\n"
        "                                          the VBV never underflows\n"
        "       m2vhdr --stats [--json] [--plot FILE.svg] FILE\n"
        "                                          measure the rates and check the VBV\n"
        "       m2vhdr --set ELEMENT=VALUE... FILE [BITRATE]\n"
        "                                          set header fields (and the bit rate)\n"
        "                                          of every sequence of FILE, in place\n"
        "       m2vhdr --pulldown 3:2|none FILE    apply or remove soft 3:2 pulldown\n"
        "       m2vhdr --check dvd|bluray [--json] FILE\n"
        "                                          check FILE against an authoring profile\n"
        "\n"
        "FILE is an MPEG-1 or MPEG-2 video elementary stream (.m2v, .mpv), or with\n"
        "--demux a program or transport stream (.mpg, .vob, .ts, .m2ts) that holds one.\n"
        "BITRATE is in bit/s, a decimal number from 0 to 4294967295; it is stored\n"
        "rounded down to a multiple of 400.\n"
        "\n"
        "Options:\n",
        out);
    for (const OptionRow& row : option_rows) {
        // "-h, --help", "    --version", "    --set ELEMENT=VALUE"
        char name[64];
        char short_form[5] = "    ";
        if (row.short_name) std::snprintf(short_form, sizeof short_form, "-%c, ", row.short_name);
        std::snprintf(name, sizeof name, "%s--%s%s%s", short_form, row.long_name,
                      row.value ? " " : "", row.value ? row.value : "");
        std::fprintf(out, "  %-28s %s\n", name, row.help);
    }
    std::fputs(
        "  --                           end the options; a FILE may then start with '-'\n",
        out);
    print_element_help(out);
    std::fputs(
        "\n"
        "Exit status:\n"
        "  0  the run completed (warnings included)\n"
        "  1  the file could not be opened, read or written, it is a program or\n"
        "     transport stream (without --demux) or one refused by it, an element\n"
        "     of --set fits no sequence of it, a header across damage was left,\n"
        "     (auto) no rate avoids a VBV underflow, or --pulldown refused it\n"
        "     (the file is then unchanged); (--check) FILE breaks a rule\n"
        "  2  usage error\n"
        "\n"
        "Examples:\n"
        "  m2vhdr movie.m2v 8000000    set every sequence of movie.m2v to 8 Mbit/s\n"
        "  m2vhdr --set aspect_ratio_information=16:9 --dry-run movie.m2v\n"
        "                              show the patches that would flag it 16:9\n"
        "  m2vhdr --pulldown 3:2 film.m2v\n"
        "                              flag 23.976 fps film for 29.97 fps display\n",
        out);
}
