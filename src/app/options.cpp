#include "app/options.hpp"

#include <cstring>
#include <initializer_list>
#include <iterator>
#include <utility>
#include <vector>

#include "app/run_program.hpp"
#include "batch/batch_inputs.hpp"
#include "messages.hpp"
#include "stats/run_stats.hpp"

namespace {

// One row per option. `value` options take the next argument, or the text
// after '=' in the long form (`--name=VALUE`).
struct OptionRow {
    char short_name;        // 0 when there is none
    const char* long_name;  // without the leading "--"
    const char* value;      // the value's name in the help text; null: a flag
    const char* help;
    bool (*apply)(Options& options, const char* value);
    const char* accepted;   // the values, for a usage error
};

bool set_help(Options& options, const char*) { return options.help = true; }
bool set_version(Options& options, const char*) { return options.version = true; }
bool set_stats(Options& options, const char*) { return options.stats = true; }
bool set_json(Options& options, const char*) { return options.json = true; }
bool set_summary(Options& options, const char*) { return options.summary = true; }
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
bool set_quiet(Options& options, const char*) { return options.quiet = true; }

// Files read at once: 1 to MAX_JOBS.
constexpr unsigned MAX_JOBS = 64;
bool set_jobs(Options& options, const char* value) {
    unsigned jobs = 0;
    if (*value == '\0') return false;
    for (; *value; ++value) {
        if (*value < '0' || *value > '9') return false;
        jobs = jobs * 10 + static_cast<unsigned>(*value - '0');
        if (jobs > MAX_JOBS) return false;
    }
    options.jobs = jobs;
    return jobs > 0;
}

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
    {'h', "help", nullptr, "print this help and exit", set_help, nullptr},
    {0, "version", nullptr, "print the version and exit", set_version, nullptr},
    {0, "stats", nullptr, "print the rates, a VBV check and the lowest safe rate", set_stats,
     nullptr},
    {0, "summary", nullptr, "print one line per segment of equal sequence parameters",
     set_summary, nullptr},
    {0, "json", nullptr, "write the report, the patches or the figures as JSON", set_json, nullptr},
    {0, "plot", "FILE.svg", "with --stats, also draw the rates and the VBV", set_plot,
     "a file name"},
    {0, "pulldown", "3:2|none", "apply or remove soft 3:2 pulldown, in place", set_pulldown,
     "3:2, none"},
    {0, "set", "ELEMENT=VALUE", "set ELEMENT in every sequence, in place (repeatable)",
     add_setting, nullptr},
    {0, "dry-run", nullptr, "print the patches a rewrite would write; write nothing", set_dry_run,
     nullptr},
    {0, "check", "dvd|bluray", "say which rules of the authoring profile FILE breaks", set_check,
     "dvd, bluray"},
    {0, "demux", nullptr, "read the video inside a program or transport stream", set_demux,
     nullptr},
    {0, "stream", "N", "in a program or transport stream, the video's PID or stream_id", set_stream,
     "0 to 8191, or 0x0 to 0x1fff"},
    {'q', "quiet", nullptr, "print no progress lines", set_quiet, nullptr},
    {'j', "jobs", "N", "read up to N files at once (a rewrite takes one at a time)", set_jobs,
     "1 to 64"},
};
constexpr std::size_t OPTION_COUNT = std::size(option_rows);

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

// An argument as typed, and where it stands on the command line; `text`
// null when it was not given.
struct Given {
    const char* text = nullptr;
    int at = 0;
};

// Where each option was first given, by row, the BITRATE, the first --set
// of the bit rate (its setting) and the first FILE that is standard input.
struct GivenArguments {
    Given option[OPTION_COUNT];
    Given bit_rate;
    Given set_bit_rate;
    Given standard_input;
};

Given given_option(const GivenArguments& g, const char* long_name) {
    return g.option[static_cast<std::size_t>(find_long(long_name, std::strlen(long_name)) -
                                             option_rows)];
}

// The first of `candidates` that was given, or none.
Given first_given(std::initializer_list<Given> candidates) {
    for (const Given& c : candidates)
        if (c.text) return c;
    return {};
}

// `a` and `b` cannot go together: the later of the two is the argument.
bool excludes(Given a, Given b, UsageError* error) {
    if (!a.text || !b.text) return false;
    if (a.at > b.at) std::swap(a, b);
    *error = {UsageProblem::EXCLUDES, b.text, nullptr, nullptr, a.text, {}};
    return true;
}

// The options that a run can do only one of at a time, and the options
// that need another.
UsageError check_combination(const Options& options, const GivenArguments& g) {
    UsageError error;
    const bool auto_rate = is_auto_rate(options.bit_rate) || options.settings.bit_rate_auto;
    Given stats = first_given({given_option(g, "stats"), given_option(g, "plot")});
    Given summary = given_option(g, "summary");
    Given set = given_option(g, "set");
    Given pulldown = given_option(g, "pulldown");
    Given check = given_option(g, "check");
    Given rewrite = first_given({g.bit_rate, set, pulldown});
    // The rate is set once: by BITRATE or by --set bit_rate.
    Given rate = first_given({g.bit_rate, g.set_bit_rate});
    if (excludes(g.set_bit_rate, g.bit_rate, &error) || excludes(stats, rewrite, &error) ||
        excludes(summary, first_given({rewrite, stats, check, given_option(g, "dry-run")}),
                 &error) ||
        excludes(pulldown, first_given({g.bit_rate, set}), &error) ||
        (auto_rate && excludes(given_option(g, "json"), rate, &error)) ||
        excludes(check, first_given({rewrite, stats, given_option(g, "dry-run")}), &error))
        return error;
    Given dry_run = given_option(g, "dry-run");
    if (dry_run.text && !rewrite.text)
        return {UsageProblem::NEEDS_ONE_OF, dry_run.text, nullptr, "BITRATE, --set, --pulldown",
                nullptr, {}};
    // A rewrite goes back into the file it has read.
    if (rewrite.text && g.standard_input.text)
        return {UsageProblem::REWRITE_STANDARD_INPUT, g.standard_input.text, nullptr, nullptr,
                nullptr, {}};
    // One plot, drawn from one file.
    if (stats.text && options.plot && options.files.size() > 1)
        return {UsageProblem::ONE_FILE_ONLY, given_option(g, "plot").text, nullptr, nullptr,
                nullptr, {}};
    Given stream = given_option(g, "stream");
    // The modes that read containers by themselves choose among their streams too.
    bool reads_containers =
        options.demux || first_given({stats, summary, check, given_option(g, "json"), set,
                                      dry_run})
                             .text;
    if (stream.text && !reads_containers)
        return {UsageProblem::NEEDS, stream.text, nullptr, "--demux", nullptr, {}};
    return error;
}

bool equal_ignoring_case(const char* a, const char* b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (; *a && *b; ++a, ++b)
        if (lower(*a) != lower(*b)) return false;
    return *a == *b;
}

// A number followed by a unit of bit rate: "5M", "5Mbps", "800k", "1.5 Mbit/s".
bool has_rate_unit(const char* text) {
    const char* s = text;
    while (*s == ' ' || *s == '+') ++s;
    const char* digits = s;
    while ((*s >= '0' && *s <= '9') || *s == '.') ++s;
    if (s == digits) return false;
    while (*s == ' ') ++s;
    if (*s == '\0') return false;
    if (std::strchr("kKmMgG", *s)) ++s;
    for (const char* unit : {"", "b", "bps", "b/s", "bit", "bit/s", "bits/s"}) {
        if (equal_ignoring_case(s, unit)) return true;
    }
    return false;
}

// A plain argument that stands where a BITRATE may: "auto", or what starts
// as a number does (after white space, a digit, a fullwidth digit or '+'),
// unless it names a video file by its extension or holds a folder
// separator. parse_options then takes it as a rate or refuses it as one.
// Any other argument is a FILE.
bool looks_like_rate(const char* text) {
    if (is_auto_rate(text)) return true;
    const char* s = text;
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    bool fullwidth_digit = static_cast<unsigned char>(s[0]) == 0xEF &&
                           static_cast<unsigned char>(s[1]) == 0xBC &&
                           static_cast<unsigned char>(s[2]) >= 0x90 &&
                           static_cast<unsigned char>(s[2]) <= 0x99;
    if (!(*s >= '0' && *s <= '9') && *s != '+' && !fullwidth_digit) return false;
    return has_rate_unit(s) || (!std::strpbrk(s, "/\\") && !has_video_extension(s));
}

// The element a --set names, if the table has it: its setting then failed
// on the value.
bool names_element(const char* setting, char* element, std::size_t size) {
    const char* equals = std::strchr(setting, '=');
    if (!equals) return false;
    std::size_t length = static_cast<std::size_t>(equals - setting);
    auto same = [&](const char* name) {
        return std::strlen(name) == length && std::strncmp(name, setting, length) == 0;
    };
    bool known = false;  // the table holds --set bit_rate's row too
    for (const Element& e : element_rows) known = known || same(e.name);
    if (!known || length >= size) return false;
    std::memcpy(element, setting, length);
    element[length] = '\0';
    return true;
}

}  // namespace

UsageError parse_options(int argc, char** argv, Options* options) {
    GivenArguments given;
    UsageError error;
    bool options_ended = false;
    std::vector<Given> positional;
    bool any_option = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (options_ended || argument[0] != '-' || argument[1] == '\0') {
            positional.push_back({argument, i});
            continue;
        }
        any_option = true;
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
            if (equals && row && !row->value)
                return {UsageProblem::UNWANTED_VALUE, argument, nullptr, nullptr, nullptr, {}};
            if (equals) value = equals + 1;
        } else {
            row = argument[2] == '\0' ? find_short(argument[1]) : nullptr;
        }
        if (!row) return {UsageProblem::UNKNOWN_OPTION, argument, nullptr, nullptr, nullptr, {}};
        if (row->value && !value) {
            if (i + 1 >= argc)
                return {UsageProblem::MISSING_VALUE, argument, nullptr, nullptr, nullptr, {}};
            value = argv[++i];
        }
        Given& first = given.option[static_cast<std::size_t>(row - option_rows)];
        if (!first.text) first = {argument, i};
        if (row->apply == add_setting && std::strncmp(value, "bit_rate=", 9) == 0 &&
            !given.set_bit_rate.text)
            given.set_bit_rate = {value, i};
        if (row->apply(*options, value)) continue;
        if (row->apply == add_setting) {
            error = {UsageProblem::UNKNOWN_ELEMENT, value, nullptr, nullptr, nullptr, {}};
            if (names_element(value, error.element, sizeof error.element))
                error.problem = UsageProblem::BAD_ELEMENT_VALUE;
            return error;
        }
        return {UsageProblem::BAD_VALUE, value, row->long_name, row->accepted, nullptr, {}};
    }
    // A rate second makes the one FILE before it a rewrite; otherwise every
    // plain argument is a FILE.
    const char* extra = nullptr;
    bool rewrite_form = positional.size() >= 2 && looks_like_rate(positional[1].text);
    for (std::size_t k = 0; k < positional.size(); ++k) {
        const Given& p = positional[k];
        if (rewrite_form && k == 1) given.bit_rate = {options->bit_rate = p.text, p.at};
        else if (rewrite_form && k == 2) extra = p.text;
        else if (!rewrite_form || k == 0) options->files.push_back(p.text);
        if (std::strcmp(p.text, "-") == 0 && !given.standard_input.text) given.standard_input = p;
    }
    if (!options->files.empty()) options->file = options->files.front();
    // Several files are a command line of their own, not the original one.
    options->original_form = !any_option && !is_auto_rate(options->bit_rate) &&
                             options->files.size() <= 1;
    if (options->help || options->version) return error;
    if (positional.empty()) return {UsageProblem::NO_FILE, nullptr, nullptr, nullptr, nullptr, {}};
    if (extra) return {UsageProblem::EXTRA_ARGUMENT, extra, nullptr, nullptr, nullptr, {}};
    error = check_combination(*options, given);
    if (error.problem != UsageProblem::NONE) return error;
    std::uint32_t rate = 0;
    if (options->bit_rate && !is_auto_rate(options->bit_rate) &&
        !parse_bit_rate(options->bit_rate, &rate)) {
        bool unit = has_rate_unit(options->bit_rate);
        return {unit ? UsageProblem::RATE_WITH_UNIT : UsageProblem::BAD_RATE, options->bit_rate,
                nullptr, nullptr, nullptr, {}};
    }
    options->bit_rate_value = rate;
    return error;
}

void print_usage_error(std::FILE* err, const UsageError& error, const Options& options,
                       const char* program) {
    // An original command line refused for its count or its BITRATE: in
    // the C locale, the usage text those lines have always printed.
    bool count = error.problem == UsageProblem::NO_FILE ||
                 error.problem == UsageProblem::EXTRA_ARGUMENT ||
                 error.problem == UsageProblem::RATE_WITH_UNIT ||
                 error.problem == UsageProblem::BAD_RATE;
    if (count && options.original_form && original_locale) {
        print_message(err, msg::usage, program);
        return;
    }
    const char* a = error.argument;
    switch (error.problem) {
    case UsageProblem::NONE: return;
    case UsageProblem::NO_FILE: print_message(err, msg::missing_file); break;
    case UsageProblem::UNKNOWN_OPTION: print_message(err, msg::unknown_option, a); break;
    case UsageProblem::MISSING_VALUE: print_message(err, msg::missing_value, a); break;
    case UsageProblem::UNWANTED_VALUE: print_message(err, msg::unwanted_value, a); break;
    case UsageProblem::BAD_VALUE:
        print_message(err, msg::bad_value, error.option, error.accepted, a);
        break;
    case UsageProblem::UNKNOWN_ELEMENT: print_message(err, msg::unknown_element, a); break;
    case UsageProblem::BAD_ELEMENT_VALUE:
        print_message(err, msg::bad_element_value, error.element, a);
        break;
    case UsageProblem::NEEDS: print_message(err, msg::needs_option, error.accepted, a); break;
    case UsageProblem::NEEDS_ONE_OF:
        print_message(err, msg::needs_one_of, error.accepted, a);
        break;
    case UsageProblem::EXCLUDES: print_message(err, msg::excluded_option, error.other, a); break;
    case UsageProblem::EXTRA_ARGUMENT: print_message(err, msg::extra_argument, a); break;
    case UsageProblem::RATE_WITH_UNIT: print_message(err, msg::rate_with_unit, a); break;
    case UsageProblem::BAD_RATE: print_message(err, msg::bad_rate, a); break;
    case UsageProblem::REWRITE_STANDARD_INPUT:
        print_message(err, msg::rewrite_standard_input, a);
        break;
    case UsageProblem::ONE_FILE_ONLY: print_message(err, msg::one_file_only, a); break;
    }
    print_message(err, msg::try_help);
}

void print_help(std::FILE* out) {
    std::fputs(
        "Usage: m2vhdr [OPTION]... FILE...         report the headers of each FILE\n"
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
        "       m2vhdr --summary [--json] FILE     one line per segment: times, parameters,\n"
        "                                          cadence, GOPs, pictures, average rate\n"
        "\n"
        "FILE is an MPEG-1 or MPEG-2 video elementary stream (.m2v, .mpv), or a program\n"
        "or transport stream (.mpg, .vob, .ts, .m2ts) that holds one; the report and\n"
        "the rewrite by BITRATE alone read those with --demux.\n"
        "Every mode but the BITRATE form takes several FILEs; a FILE that is a folder\n"
        "is read through, subfolders included, for files with a video extension, in\n"
        "name order; '-' is standard input (not for a rewrite). With several files each\n"
        "file's output begins with a line that names it, and --json writes one\n"
        "document per file on one line (JSON Lines). A second argument that is a\n"
        "number, a number with a unit or 'auto' is the BITRATE of the one FILE.\n"
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
        "  0  the run completed (warnings included); (--check) FILE breaks no rule\n"
        "  1  the file could not be opened, read or written, it is a program or\n"
        "     transport stream that the run refused, an element\n"
        "     of --set fits no sequence of it, a header across damage was left,\n"
        "     (auto) no rate avoids a VBV underflow, or --pulldown refused it\n"
        "     (the file is then unchanged); (--check) FILE could not be read or\n"
        "     was refused\n"
        "  2  usage error\n"
        "  3  (--check) FILE breaks a rule of the profile\n"
        "  With several files, the most serious of theirs: 1, then 3, then 0.\n"
        "\n"
        "Examples:\n"
        "  m2vhdr movie.m2v 8000000    set every sequence of movie.m2v to 8 Mbit/s\n"
        "  m2vhdr --set aspect_ratio_information=16:9 --dry-run movie.m2v\n"
        "                              show the patches that would flag it 16:9\n"
        "  m2vhdr --pulldown 3:2 film.m2v\n"
        "                              flag 23.976 fps film for 29.97 fps display\n",
        out);
}
