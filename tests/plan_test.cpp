// The plan a command line becomes, and sinks chained on one pass.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/options.hpp"
#include "headers/header_sink.hpp"
#include "run/run_plan.hpp"
#include "stream_builder.hpp"
#include "tool_runner.hpp"

namespace {

// ---- The plan -------------------------------------------------------------

struct PlanCase {
    std::vector<const char*> args;  // after the program's name
    Job job;
    bool writes;      // opens the file for writing
    bool containers;  // may read a program or transport stream
    OutputForm form;
    bool dry_run;
};

constexpr OutputForm TEXT = OutputForm::TEXT;
constexpr OutputForm JSON = OutputForm::JSON;

// From what each job is: a report and the figures only read; a rewrite,
// `auto` and the pulldown write in place unless asked for a dry run;
// containers are read by the newer modes, and by the two original forms
// (the report, BITRATE) with --demux only; --json changes the form alone.
const PlanCase plan_cases[] = {
    {{"f.m2v"}, Job::REPORT, false, false, TEXT, false},
    {{"--json", "f.m2v"}, Job::JSON_REPORT, false, true, JSON, false},
    {{"--demux", "--json", "f.ts"}, Job::JSON_REPORT, false, true, JSON, false},
    {{"--stats", "f.m2v"}, Job::STATISTICS, false, true, TEXT, false},
    {{"--plot", "p.svg", "f.m2v"}, Job::STATISTICS, false, true, TEXT, false},
    {{"--stats", "--json", "--demux", "f.ts"}, Job::STATISTICS, false, true, JSON, false},
    {{"--check", "dvd", "f.m2v"}, Job::CHECK, false, true, TEXT, false},
    {{"--check", "bluray", "--json", "--demux", "f.ts"}, Job::CHECK, false, true, JSON, false},
    {{"f.m2v", "9800000"}, Job::REWRITE, true, false, TEXT, false},
    {{"--dry-run", "f.m2v", "9800000"}, Job::REWRITE, false, true, TEXT, true},
    {{"--json", "f.m2v", "9800000"}, Job::REWRITE, true, true, JSON, false},
    {{"--set", "aspect_ratio_information=16:9", "f.m2v"}, Job::REWRITE, true, true, TEXT, false},
    {{"--demux", "f.ts", "9800000"}, Job::REWRITE, true, true, TEXT, false},
    {{"f.m2v", "auto"}, Job::AUTO, true, false, TEXT, false},
    {{"--set", "bit_rate=auto", "--dry-run", "f.m2v"}, Job::AUTO, false, true, TEXT, true},
    {{"-q", "f.m2v", "9800000"}, Job::REWRITE, true, false, TEXT, false},
    {{"--summary", "f.ts"}, Job::SUMMARY, false, true, TEXT, false},
    {{"--summary", "--json", "f.ts"}, Job::SUMMARY, false, true, JSON, false},
    {{"--pulldown", "3:2", "f.m2v"}, Job::PULLDOWN, true, false, TEXT, false},
    {{"--pulldown", "none", "--dry-run", "--json", "f.m2v"}, Job::PULLDOWN, false, false, JSON, true},
};

TEST(Plan, EachCommandLineHasOneJobAndItsNeeds) {
    for (const PlanCase& c : plan_cases) {
        std::vector<char*> argv = {const_cast<char*>("m2vhdr")};
        std::string line;
        for (const char* a : c.args) {
            argv.push_back(const_cast<char*>(a));
            line += std::string(" ") + a;
        }
        argv.push_back(nullptr);
        SCOPED_TRACE(line);
        Options options;
        UsageError usage = parse_options(static_cast<int>(argv.size() - 1), argv.data(), &options);
        ASSERT_EQ(usage.problem, UsageProblem::NONE);
        RunPlan plan = make_plan(options);
        ASSERT_NE(plan.job, nullptr);
        EXPECT_EQ(plan.job->job, c.job);
        EXPECT_EQ(plan.writes, c.writes);
        EXPECT_EQ(plan.containers, c.containers);
        EXPECT_EQ(plan.form, c.form);
        EXPECT_EQ(plan.dry_run, c.dry_run);
    }
}

// ---- Sinks in a chain -----------------------------------------------------

// One recording sink's own record: its name, where it stops the pass, and
// the journal that every link of the chain writes into, in call order.
struct Recorder {
    char name;
    std::string stop_at;  // the entry that returns STOP; empty: none
    std::vector<std::string>* journal;
    unsigned calls = 0;   // this link's own count
};

ParseResult note(StreamContext& ctx, void* own, const char* entry) {
    Recorder& r = *static_cast<Recorder*>(own);
    ++r.calls;
    r.journal->push_back(std::string(1, r.name) + " " + entry + " " +
                         std::to_string(offset_of(ctx)));
    return r.stop_at == entry ? STOP : CONTINUE;
}

// A type of its own for every entry, so that a wrong slot does not compile.
template <typename Record>
ParseResult note_entry(StreamContext& ctx, void* own, const Record&);
#define NOTE(Type, name)                                                          \
    template <>                                                                   \
    ParseResult note_entry(StreamContext& ctx, void* own, const syntax::Type&) { \
        return note(ctx, own, name);                                              \
    }
NOTE(SequenceHeader, "sequence_header")
NOTE(SequenceExtension, "sequence_extension")
NOTE(SequenceDisplayExtension, "sequence_display_extension")
NOTE(QuantMatrixExtension, "quant_matrix_extension")
NOTE(CopyrightExtension, "copyright_extension")
NOTE(PictureDisplayExtension, "picture_display_extension")
NOTE(GroupOfPicturesHeader, "group_of_pictures_header")
NOTE(PictureHeader, "picture_header")
NOTE(PictureCodingExtension, "picture_coding_extension")
#undef NOTE

ParseResult note_bare(StreamContext& ctx, void* own, std::uint32_t code) {
    return note(ctx, own, code == 0x1B2 ? "user_data" : "sequence_end");
}

void note_warning(StreamContext& ctx, void* own, LayerWarning) { note(ctx, own, "layer_warning"); }

const HeaderSink recording_sink = {
    note_entry, note_entry, note_entry, note_entry, note_entry, note_entry,
    note_entry, note_entry, note_entry, note_bare,  note_warning,
};

// The headers of `stream` and where each starts.
struct Part {
    Bytes bytes;
    const char* entry;
};

struct ChainCase {
    const char* name;
    std::string a_stops_at;  // the first link's STOP; empty: none
    std::string b_stops_at;
};

void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.name; }

class SinkChainPass : public ::testing::TestWithParam<ChainCase> {};

// Both links see every header of the pass, A before B, each with its own
// state; a STOP from either ends the header there and the pass with it.
TEST_P(SinkChainPass, EveryLinkSeesEveryHeaderInOrder) {
    const ChainCase& c = GetParam();
    SequenceExtension extension;
    const Part parts[] = {
        {sequence_header({}), "sequence_header"},
        {sequence_extension(extension), "sequence_extension"},
        {sequence_display_extension({}), "sequence_display_extension"},
        {group_header({}), "group_of_pictures_header"},
        {picture_header({}), "picture_header"},
        {picture_coding_extension({}), "picture_coding_extension"},
        {quant_matrix_extension(false, false, false, false, 0), "quant_matrix_extension"},
        {copyright_extension(), "copyright_extension"},
        {user_data("x"), "user_data"},
        {sequence_end(), "sequence_end"},
    };
    Bytes stream;
    std::vector<std::string> expected;
    bool stopped = false;
    for (const Part& p : parts) {
        std::string at = std::to_string(stream.size());
        append(stream, p.bytes);
        if (stopped) continue;
        expected.push_back(std::string("A ") + p.entry + " " + at);
        if (c.a_stops_at == p.entry) {
            stopped = true;
            continue;
        }
        expected.push_back(std::string("B ") + p.entry + " " + at);
        stopped = c.b_stops_at == p.entry;
    }
    ScratchDir dir;
    std::string path = dir.write("chain.m2v", stream);

    std::vector<std::string> journal;
    Recorder a{'A', c.a_stops_at, &journal};
    Recorder b{'B', c.b_stops_at, &journal};
    SinkChain chain;
    ASSERT_TRUE(chain_add(chain, recording_sink, &a));
    ASSERT_TRUE(chain_add(chain, recording_sink, &b));

    StreamContext ctx;
    ctx.run.out = stdout;
    ctx.run.err = stderr;
    set_sink(ctx, chain_sink, &chain);
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &ctx.file));
    ctx.win.bytes = static_cast<std::uint8_t*>(std::calloc(WINDOW_SIZE + WINDOW_PADDING, 1));
    ASSERT_NE(ctx.win.bytes, nullptr);
    Input input;
    ASSERT_TRUE(input_open(input, ctx.file));
    ElementarySource elementary{&input};
    ctx.source = elementary_source(elementary);
    ScanOutcome outcome = scan_stream(ctx);
    std::free(ctx.win.bytes);
    input_close(input);
    platform_close(ctx.file);

    EXPECT_EQ(outcome, stopped ? ScanOutcome::STOPPED : ScanOutcome::END_OF_INPUT);
    EXPECT_EQ(journal, expected);
    unsigned a_lines = 0;
    for (const std::string& line : expected) a_lines += line[0] == 'A';
    EXPECT_EQ(a.calls, a_lines);
    EXPECT_EQ(b.calls, expected.size() - a_lines);
}

INSTANTIATE_TEST_SUITE_P(
    Chain, SinkChainPass,
    ::testing::Values(ChainCase{"whole", "", ""},
                      ChainCase{"first_stops", "picture_header", ""},
                      ChainCase{"second_stops", "", "group_of_pictures_header"},
                      ChainCase{"stop_at_last", "", "sequence_end"}),
    [](const ::testing::TestParamInfo<ChainCase>& info) { return std::string(info.param.name); });

TEST(SinkChain, HoldsAtMostItsLinks) {
    SinkChain chain;
    int state = 0;
    for (unsigned i = 0; i < MAX_CHAINED_SINKS; ++i) EXPECT_TRUE(chain_add(chain, recording_sink, &state));
    EXPECT_FALSE(chain_add(chain, recording_sink, &state));
    EXPECT_EQ(chain.count, MAX_CHAINED_SINKS);
}

}  // namespace

namespace {

// ---- The JSON document's chain ---------------------------------------------

// A --json report or rewrite chains the document's warning recorder before
// the run's own sink: the warning is both kept in the document, where the
// scan met it, and printed by the run's sink as without --json.
TEST(JsonDocumentChain, KeepsTheWarningThatTheRunsSinkPrints) {
    EnglishMessages english;
    // The picture coding extension follows the sequence extension: outside
    // the picture layer.
    Bytes head = concat({sequence_header({}), sequence_extension({})});
    Bytes stream = concat({head, picture_coding_extension({}), filler(16)});
    const std::string tail = "  \"warnings\": [\n    {\"offset\": " + std::to_string(head.size()) +
                             ", \"message\": \"picture extension code found outside the picture "
                             "layer\"}\n  ],\n  \"warnings_omitted\": 0,\n  \"status\": \"complete\"\n}\n";
    const std::string warning = "Warning: found a picture extension code outside the picture layer.\n";
    // The report, and a rewrite that finds the value already there.
    for (std::vector<std::string> args :
         {std::vector<std::string>{"--json"},
          std::vector<std::string>{"--json", "--set", "aspect_ratio_information=4:3"}}) {
        SCOPED_TRACE(args.back());
        Bytes after;
        RunResult r = run_on(stream, args, &after);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, warning);
        ASSERT_GE(r.out.size(), tail.size());
        EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
        EXPECT_EQ(after, stream);
    }
}

}  // namespace

namespace {

// ---- One set of statuses, each document's names ---------------------------

struct StatusCase {
    JsonDocument document;
    RunStatus status;
    const char* name;
};

// The names each document has always written: the report, the patches and
// the figures "complete", "refused" or "error"; the check "compliant",
// "noncompliant" or "error" (refused included).
const StatusCase status_cases[] = {
    {JsonDocument::HEADERS, RunStatus::COMPLETE, "complete"},
    {JsonDocument::HEADERS, RunStatus::REFUSED, "refused"},
    {JsonDocument::HEADERS, RunStatus::ERROR, "error"},
    {JsonDocument::PATCHES, RunStatus::COMPLETE, "complete"},
    {JsonDocument::PATCHES, RunStatus::REFUSED, "refused"},
    {JsonDocument::PATCHES, RunStatus::ERROR, "error"},
    {JsonDocument::FIGURES, RunStatus::COMPLETE, "complete"},
    {JsonDocument::FIGURES, RunStatus::REFUSED, "refused"},
    {JsonDocument::FIGURES, RunStatus::ERROR, "error"},
    {JsonDocument::CHECK, RunStatus::COMPLETE, "compliant"},
    {JsonDocument::CHECK, RunStatus::RULE_BROKEN, "noncompliant"},
    {JsonDocument::CHECK, RunStatus::REFUSED, "error"},
    {JsonDocument::CHECK, RunStatus::ERROR, "error"},
};

TEST(JsonEnvelope, EachDocumentSpellsTheStatusAsItAlwaysHas) {
    for (const StatusCase& c : status_cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(json_status_name(c.document, c.status), c.name);
    }
}

}  // namespace
