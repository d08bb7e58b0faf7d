// --demux on transport and program streams laid out here packet by packet,
// with the file offset of every video byte noted as it is placed: the
// report must be the elementary stream's own report at those offsets, and
// a rewrite must leave exactly the elementary stream's rewritten bytes at
// those offsets and every other byte as it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "demux/demux.hpp"
#include "input/input.hpp"
#include "tool_runner.hpp"

namespace {

constexpr unsigned PID = 0x100;
const std::vector<std::string> SET = {"--demux", "--set", "aspect_ratio_information=3", "7000000"};

Bytes elementary() {
    return concat({sequence_header({}), sequence_extension({}), group_header({}), picture_header({}),
                   picture_coding_extension({}), slice(300), sequence_end()});
}

struct Laid {
    Bytes file;
    std::vector<std::uint64_t> where;  // file offset of each video byte
};

// One transport packet of PID with `payload` (at most 184 bytes), stuffed
// with an adaptation field to its full size; `at` is where it starts.
void put_packet(Laid& l, unsigned pid, bool start, unsigned cc, const Bytes& payload,
                unsigned scrambling = 0, std::size_t es_first = SIZE_MAX, std::size_t es_count = 0) {
    Bytes p = {0x47, static_cast<std::uint8_t>((start ? 0x40 : 0) | pid >> 8),
               static_cast<std::uint8_t>(pid), static_cast<std::uint8_t>(scrambling << 6 | cc)};
    std::size_t stuffing = 184 - payload.size();
    if (stuffing > 0) {
        p[3] |= 0x30;
        p.push_back(static_cast<std::uint8_t>(stuffing - 1));
        if (stuffing > 1) p.push_back(0x00);
        while (p.size() < 188 - payload.size()) p.push_back(0xff);
    } else {
        p[3] |= 0x10;
    }
    std::uint64_t payload_at = l.file.size() + p.size() + (payload.size() - es_count);
    for (std::size_t i = 0; es_first != SIZE_MAX && i < es_count; ++i) l.where[es_first + i] = payload_at + i;
    append(l.file, p);
    append(l.file, payload);
}

// A table section with its CRC_32 after it, reckoned bit by bit here
// (polynomial 0x04c11db7, from all ones, no final inversion).
Bytes with_crc(Bytes section) {
    std::uint32_t crc = 0xffffffff;
    for (std::uint8_t b : section) {
        crc ^= std::uint32_t{b} << 24;
        for (int k = 0; k < 8; ++k) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<std::uint8_t>(crc >> shift));
    return section;
}

// The payload of a packet that starts a section: pointer_field 0, then it.
Bytes pat_payload() { return concat({{0}, with_crc({0, 0xb0, 0x0d, 0, 1, 0xc1, 0, 0, 0, 1, 0xe0, 0x20})}); }
Bytes pmt_payload(unsigned pid, unsigned stream_type = 2, unsigned version = 0) {
    return concat({{0}, with_crc({2, 0xb0, 0x12, 0, 1, static_cast<std::uint8_t>(0xc1 | version << 1), 0, 0,
                                  0xe1, 0, 0xf0, 0, static_cast<std::uint8_t>(stream_type),
                                  static_cast<std::uint8_t>(0xe0 | pid >> 8),
                                  static_cast<std::uint8_t>(pid), 0xf0, 0})});
}

// Options of the layout of a case.
struct Layout {
    std::size_t split;     // video bytes in the first packet
    bool bounded;          // PES_packet_length set
    bool duplicate;        // the second packet sent twice
    bool gap;              // a counter value skipped before the second packet
    unsigned scrambling;   // transport_scrambling_control of the second packet
};

Laid transport(const Bytes& es, const Layout& o) {
    Laid l;
    l.where.assign(es.size(), 0);
    // PAT: program 1 at PID 0x20; PMT: stream_type 2 at PID.
    put_packet(l, 0, true, 0, pat_payload());
    put_packet(l, 0x20, true, 0, pmt_payload(PID));
    std::size_t length = o.bounded ? 3 + es.size() : 0;
    Bytes pes = {0, 0, 1, 0xe0, static_cast<std::uint8_t>(length >> 8),
                 static_cast<std::uint8_t>(length), 0x80, 0, 0};
    put_packet(l, PID, true, 0, concat({pes, Bytes(es.begin(), es.begin() + static_cast<long>(o.split))}),
               0, 0, o.split);
    unsigned cc = o.gap ? 2 : 1;
    for (std::size_t at = o.split; at < es.size(); at += 184, cc = (cc + 1) & 15) {
        std::size_t n = std::min<std::size_t>(184, es.size() - at);
        Bytes part(es.begin() + static_cast<long>(at), es.begin() + static_cast<long>(at + n));
        bool second = at == o.split;
        put_packet(l, PID, false, cc, part, second ? o.scrambling : 0, at, n);
        if (second && o.duplicate) put_packet(l, PID, false, cc, part);
        put_packet(l, 0x1fff, false, 0, filler(184));  // a null packet between
    }
    return l;
}

// The elementary stream's report with each offset moved to its file offset.
std::string expected_report(const std::string& es_report, const Laid& l, const std::string& head) {
    std::string out = head;
    std::regex offset_line("^([0-9a-f]{8,}): ");
    std::size_t at = 0;
    while (at < es_report.size()) {
        std::size_t end = es_report.find('\n', at);
        std::string line = es_report.substr(at, end - at + 1);
        std::smatch m;
        if (std::regex_search(line, m, offset_line)) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%08llx",
                          static_cast<unsigned long long>(l.where[std::stoull(m[1], nullptr, 16)]));
            line = buffer + line.substr(static_cast<std::size_t>(m[1].length()));
        }
        out += line;
        at = end + 1;
    }
    return out;
}

Bytes expected_file(const Laid& l, const Bytes& es_after) {
    Bytes file = l.file;
    for (std::size_t i = 0; i < es_after.size(); ++i) file[l.where[i]] = es_after[i];
    return file;
}

std::string hex8(std::uint64_t v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%08llx", static_cast<unsigned long long>(v));
    return buffer;
}

const std::string HEAD = "stream: transport stream, 188-byte packets, PID 0x0100\n";

TEST(Demux, EveryFieldSplitAtEveryPositionReadsAndPatchesAsTheElementaryStream) {
    const Bytes es = elementary();
    const RunResult es_report = run_on(es);
    Bytes es_after;
    ASSERT_EQ(run_on(es, {"--set", "aspect_ratio_information=3", "7000000"}, &es_after).status, 0);
    // Splits through the sequence header, its extension and the GOP header.
    for (std::size_t split = 1; split <= 40; ++split) {
        for (bool bounded : {false, true}) {
            for (bool duplicate : {false, true}) {
                SCOPED_TRACE("split " + std::to_string(split) + (bounded ? " bounded" : "") +
                             (duplicate ? " duplicate" : ""));
                Laid l = transport(es, {split, bounded, duplicate, false, 0});
                RunResult r = run_on(l.file, {"--demux"});
                EXPECT_EQ(r.status, 0);
                EXPECT_EQ(r.out, expected_report(es_report.out, l, HEAD));
                EXPECT_EQ(r.err, "");
                Bytes after;
                RunResult w = run_on(l.file, SET, &after);
                EXPECT_EQ(w.status, 0) << w.err;
                EXPECT_EQ(after, expected_file(l, es_after));
                // The whole container read: 100 %, past the last video byte.
                EXPECT_EQ(w.out, closing_line(l.file.size()) + rewrite_summary(1, 0, 0));
            }
        }
    }
}

// Read through mapped windows, the container gives the same report and the
// same patches: the demultiplexer reads the file's pages in place, and
// sees the rewrite's own writes when it reads the stream again.
TEST(Demux, MappedFileReadsAndPatchesAsTheReadOne) {
    const Bytes es = elementary();
    const RunResult es_report = run_on(es);
    Bytes es_after;
    ASSERT_EQ(run_on(es, {"--set", "aspect_ratio_information=3", "7000000"}, &es_after).status, 0);
    input_reading = InputReading::MAPPED;
    for (std::size_t split : {std::size_t{1}, std::size_t{4}, std::size_t{13}, std::size_t{40}}) {
        SCOPED_TRACE("split " + std::to_string(split));
        Laid l = transport(es, {split, true, true, false, 0});
        RunResult r = run_on(l.file, {"--demux"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, expected_report(es_report.out, l, HEAD));
        Bytes after;
        RunResult w = run_on(l.file, SET, &after);
        EXPECT_EQ(w.status, 0) << w.err;
        EXPECT_EQ(after, expected_file(l, es_after));
    }
    input_reading = InputReading::READ;
}

const Bytes PAT_SECTION = [] {
    Bytes p = pat_payload();
    return Bytes(p.begin() + 1, p.end());  // without pointer_field
}();

// A table section laid from the file's end over as many packets of `pid` as
// it takes: pointer_field 0 in the first, the rest stuffed.
void put_section(Laid& l, unsigned pid, unsigned& cc, const Bytes& section) {
    const Bytes payload = concat({{0}, section});
    for (std::size_t at = 0; at < payload.size(); at += 184, cc = (cc + 1) & 15) {
        std::size_t n = std::min<std::size_t>(184, payload.size() - at);
        put_packet(l, pid, at == 0, cc, Bytes(payload.begin() + static_cast<long>(at),
                                               payload.begin() + static_cast<long>(at + n)));
    }
}

// The PMT section of program 1 (version `version`) listing `streams`
// (stream_type, elementary_PID), after `descriptors` program descriptors
// of 256 bytes each; its CRC_32 spoilt when asked.
Bytes pmt_section(unsigned version, const std::vector<std::pair<unsigned, unsigned>>& streams,
                  std::size_t descriptors = 0, bool bad_crc = false) {
    std::size_t info = 256 * descriptors;
    std::size_t length = 9 + info + 5 * streams.size() + 4;
    Bytes s = {2, static_cast<std::uint8_t>(0xb0 | length >> 8), static_cast<std::uint8_t>(length), 0, 1,
               static_cast<std::uint8_t>(0xc1 | version << 1), 0, 0, 0xe1, 0,
               static_cast<std::uint8_t>(0xf0 | info >> 8), static_cast<std::uint8_t>(info)};
    for (std::size_t i = 0; i < descriptors; ++i) append(s, concat({{0x80, 254}, filler(254, 0x5a)}));
    for (auto [type, pid] : streams)
        append(s, {static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(0xe0 | pid >> 8),
                   static_cast<std::uint8_t>(pid), 0xf0, 0});
    s = with_crc(s);
    if (bad_crc) s.back() ^= 1;
    return s;
}

// es[from, to) in one unbounded PES packet on `pid`.
void put_video(Laid& l, unsigned pid, unsigned& cc, const Bytes& es, std::size_t from, std::size_t to,
               unsigned scrambling = 0) {
    const Bytes pes = {0, 0, 1, 0xe0, 0, 0, 0x80, 0, 0};
    for (std::size_t at = from; at < to; cc = (cc + 1) & 15) {
        std::size_t n = std::min<std::size_t>(at == from ? 184 - pes.size() : 184, to - at);
        Bytes part(es.begin() + static_cast<long>(at), es.begin() + static_cast<long>(at + n));
        put_packet(l, pid, at == from, cc, at == from ? concat({pes, part}) : part, scrambling, at, n);
        at += n;
    }
}

struct TableCase {
    const char* name;
    Bytes first_pmt;   // at the start, before es1 on 0x100
    Bytes second_pmt;  // between es1 and es2
    unsigned second_pid;  // where es2 is laid
    std::vector<std::string> options;
    const char* head;  // the stream line
    bool whole;        // the report is of es1 + es2, else of es2 alone
    bool change;       // with a line at the second PMT
    bool crc_warning;  // of the second PMT
    int status;
};

// The PAT and PMTs in every version, whatever their size and the packets
// they span, and a programme whose video moves to another PID between two
// streams es1 and es2.
TEST(Demux, TablesOfEveryVersionAreReadAndTheProgrammeFollowed) {
    EnglishMessages english;
    const Bytes es1 = elementary();
    const Bytes es2 = concat({elementary(), elementary()});
    const Bytes es = concat({es1, es2});
    const auto v0 = pmt_section(0, {{2, 0x100}});
    const auto moved = pmt_section(1, {{3, 0x102}, {2, 0x101}});
    const std::string head0 = "stream: transport stream, 188-byte packets, PID 0x0100\n";
    // The same section but its elementary_PID 0x0101, under v0's CRC_32.
    Bytes spoilt = v0;
    spoilt[14] = 0x01;
    const TableCase cases[] = {
        {"a PMT over 1 KiB over 8 packets", pmt_section(0, {{2, 0x100}}, 5), pmt_section(0, {{2, 0x100}}, 5),
         0x100, {}, head0.c_str(), true, false, false, 0},
        {"stream_type 1", pmt_section(0, {{1, 0x100}}), pmt_section(0, {{1, 0x100}}), 0x100, {},
         head0.c_str(), true, false, false, 0},
        {"a new version moves the video", v0, moved, 0x101, {}, head0.c_str(), true, true, false, 0},
        {"other contents under the same version", v0, pmt_section(0, {{2, 0x101}}), 0x101, {},
         head0.c_str(), true, true, false, 0},
        {"a new version keeps it", v0, pmt_section(1, {{2, 0x100}, {2, 0x101}}), 0x100, {},
         head0.c_str(), true, false, false, 0},
        {"a wrong CRC_32 is ignored", v0, pmt_section(1, {{2, 0x101}}, 0, true), 0x100, {},
         head0.c_str(), true, false, true, 0},
        {"a section like the one before but one byte", v0, spoilt, 0x100, {}, head0.c_str(), true, false,
         true, 0},
        {"--stream of a later version", v0, moved, 0x101, {"--stream", "0x101"},
         "stream: transport stream, 188-byte packets, PID 0x0101\n", false, false, false, 0},
    };
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.name);
        Laid l;
        l.where.assign(es.size(), 0);
        unsigned pat_cc = 0, pmt_cc = 0, cc1 = 0, cc2 = 0;
        put_section(l, 0, pat_cc, PAT_SECTION);
        put_section(l, 0x20, pmt_cc, c.first_pmt);
        put_video(l, 0x100, cc1, es, 0, es1.size());
        const std::uint64_t second_at = l.file.size();
        put_section(l, 0x20, pmt_cc, c.second_pmt);
        put_video(l, c.second_pid, c.second_pid == 0x100 ? cc1 : cc2, es, es1.size(), es.size());
        std::vector<std::string> args = {"--demux"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        RunResult r = run_on(l.file, args);
        std::string want;
        if (c.whole) {
            want = expected_report(run_on(es).out, l, c.head);
        } else {
            Laid tail = l;  // es2's offsets from its own start
            tail.where.erase(tail.where.begin(), tail.where.begin() + static_cast<long>(es1.size()));
            want = expected_report(run_on(es2).out, tail, c.head);
        }
        if (c.change) {
            std::size_t at = want.find(hex8(l.where[es1.size()]) + ": ");
            ASSERT_NE(at, std::string::npos);
            want.insert(at, hex8(second_at) + ": video continues on PID 0x0101 (program 1, PMT version " +
                                std::to_string(c.second_pmt[5] >> 1 & 31) + ")\n");
        }
        EXPECT_EQ(r.out, want);
        EXPECT_EQ(r.err, c.crc_warning ? "m2vhdr: warning: table section on PID 0x0020 at " + hex8(second_at) +
                                             " has a wrong CRC_32 and is ignored\n"
                                       : "");
        EXPECT_EQ(r.status, c.status);
        if (!c.change) continue;
        // The JSON report names the move after the headers; --stream names
        // every video PID of every version.
        RunResult j = run_on(l.file, {"--demux", "--json"});
        EXPECT_NE(j.out.find("\"pid_changes\": [\n    {\"offset\": " + std::to_string(second_at) +
                             ", \"pid\": 257, \"program_number\": 1, \"version_number\": " +
                             std::to_string(c.second_pmt[5] >> 1 & 31) + "}\n  ],\n"),
                  std::string::npos)
            << j.out;
        RunResult m = run_on(l.file, {"--demux", "--stream", "0x1f"});
        EXPECT_EQ(m.err, "m2vhdr: the file holds no video stream 0x1f; it holds: 0x0100 (program 1), "
                         "0x0101 (program 1)\n");
        EXPECT_EQ(m.status, 1);
    }
}

struct DamageCase {
    const char* name;
    Layout layout;
    int report_status;
    int rewrite_status;
    bool file_unchanged;   // else: every header after the damage patched
    const char* rewrite_err;  // what follows the warnings
};

// The second packet's offset: PAT, PMT and the first video packet before it.
constexpr std::uint64_t SECOND = 3 * 188;

TEST(Demux, DamageIsWarnedAndRefusedOrLeftAlone) {
    EnglishMessages english;
    const Bytes es = elementary();
    Bytes es_after;
    run_on(es, {"--set", "aspect_ratio_information=3", "7000000"}, &es_after);
    const std::string gap = "m2vhdr: warning: continuity counter gap on PID 0x0100 at " +
                            hex8(SECOND) + ": bytes of the video are lost\n";
    const std::string scrambled = "m2vhdr: the video stream is scrambled (packet at " + hex8(SECOND) +
                                  "); the file is not changed\n";
    // A report reads on past the scrambled packet, and says so.
    const std::string stretch = "m2vhdr: warning: the video is scrambled from " + hex8(SECOND) +
                                " for 188 bytes and is not read\n";
    const DamageCase cases[] = {
        // The sequence header lies across the gap: reported, not patched;
        // the extension after it is whole and patched.
        {"gap inside a header", {6, false, false, true, 0}, 0, 1, false,
         "m2vhdr: 1 headers lie across damaged parts of the stream and were not patched\n"},
        // A gap between headers damages none.
        {"gap between headers", {12, false, false, true, 0}, 0, 0, false, ""},
        {"scrambled", {12, false, false, false, 2}, 1, 1, true, ""},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        Laid l = transport(es, c.layout);
        bool scrambled_case = c.layout.scrambling != 0;
        RunResult r = run_on(l.file, {"--demux"});
        EXPECT_EQ(r.status, c.report_status);
        EXPECT_EQ(r.err, scrambled_case ? stretch : gap);
        Bytes after;
        RunResult w = run_on(l.file, SET, &after);
        EXPECT_EQ(w.status, c.rewrite_status);
        EXPECT_EQ(w.err, scrambled_case ? scrambled : gap + c.rewrite_err);
        // The sequence whose header was left is not patched.
        if (!c.file_unchanged) {
            EXPECT_EQ(w.out, closing_line(l.file.size()) +
                                 rewrite_summary(c.rewrite_status == 0, 0, c.rewrite_status != 0));
        }
        if (c.file_unchanged) {
            EXPECT_EQ(after, l.file);
            continue;
        }
        // A header across the gap is not patched even where its values are
        // already the ones asked for: nothing vouches for its lost bytes.
        if (c.rewrite_status != 0) {
            Bytes same;
            RunResult k = run_on(l.file, {"--demux", "--set", "aspect_ratio_information=2", "8000000"}, &same);
            EXPECT_EQ(k.status, 1);
            EXPECT_EQ(k.err, gap + c.rewrite_err);
            EXPECT_EQ(k.out, closing_line(l.file.size()) + rewrite_summary(0, 0, 1));
            EXPECT_EQ(same, l.file);
        }
        Bytes want = expected_file(l, es_after);
        // The sequence header's bytes across the gap keep their old values.
        if (c.rewrite_status != 0)
            for (std::size_t i = 0; i < 12; ++i) want[l.where[i]] = l.file[l.where[i]];
        EXPECT_EQ(after, want);
    }
}

// Read-only modes report the clear parts of a stream with a scrambled
// stretch in the middle exactly as they report the same file with null
// packets there, and warn of the stretch and exit 1; a rewrite refuses it
// and leaves the file alone. A last packet cut short is warned of, and the
// file is read and rewritten as without it.
TEST(Demux, ScrambledStretchesAndACutLastPacketInEveryMode) {
    EnglishMessages english;
    const Bytes es = concat({elementary(), elementary()});
    const std::size_t half = elementary().size();
    auto lay = [&](unsigned stretch_pid, unsigned scrambling) {
        Laid l;
        l.where.assign(es.size(), 0);
        unsigned pat_cc = 0, pmt_cc = 0, cc = 0, null_cc = 0;
        put_section(l, 0, pat_cc, PAT_SECTION);
        put_section(l, 0x20, pmt_cc, pmt_section(0, {{2, 0x100}}));
        put_video(l, 0x100, cc, es, 0, half);
        Laid hidden;  // 500 bytes of video in 3 packets
        hidden.where.assign(500, 0);
        put_video(hidden, stretch_pid, stretch_pid == 0x100 ? cc : null_cc, filler(500, 0x33), 0, 500,
                  scrambling);
        append(l.file, hidden.file);
        put_video(l, 0x100, cc, es, half, es.size());
        return l;
    };
    const Laid clear = lay(0x1fff, 0);
    const Laid scrambled = lay(0x100, 3);
    ASSERT_EQ(clear.file.size(), scrambled.file.size());
    const std::uint64_t stretch_at = clear.where[half - 1] + 1;  // after es1's last packet
    ASSERT_EQ(stretch_at % 188, 0u);
    const std::string stretch = "m2vhdr: warning: the video is scrambled from " + hex8(stretch_at) +
                                " for 564 bytes and is not read\n";
    Bytes cut = clear.file;
    const Bytes extra(clear.file.end() - 188, clear.file.end() - 88);  // 100 bytes of a packet
    append(cut, extra);
    const std::string cut_warning = "m2vhdr: warning: the last packet, at " + hex8(clear.file.size()) +
                                    ", is cut short (100 of 188 bytes)\n";
    // Every file under the same name, which the JSON documents give.
    ScratchDir dir;
    auto run = [&](const Bytes& file, std::vector<std::string> args) {
        args.push_back(dir.write("in.ts", file));
        return run_tool(args);
    };
    auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        std::size_t at = text.find(from);
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const std::vector<std::vector<std::string>> modes = {
        {}, {"--stats"}, {"--stats", "--json"}, {"--check", "dvd"}, {"--check", "dvd", "--json"},
        {"--json"}};
    for (const auto& mode : modes) {
        std::vector<std::string> args = {"m2vhdr", "--demux"};
        args.insert(args.end(), mode.begin(), mode.end());
        SCOPED_TRACE(testing::PrintToString(mode));
        const RunResult want = run(clear.file, args);
        EXPECT_EQ(want.err, "");
        const bool report_json = mode.size() == 1 && mode[0] == "--json";
        const bool json = !mode.empty() && mode.back() == "--json";
        RunResult r = run(scrambled.file, args);
        // Every document ends as the exit status says: not all was read.
        EXPECT_EQ(r.out, json ? replaced(want.out, "\"status\": \"complete\"", "\"status\": \"error\"")
                              : want.out);
        EXPECT_EQ(r.err, stretch);
        EXPECT_EQ(r.status, 1);
        RunResult c = run(cut, args);
        EXPECT_EQ(c.out, report_json ? replaced(want.out, "\"size\": " + std::to_string(clear.file.size()),
                                                "\"size\": " + std::to_string(cut.size()))
                                     : want.out);
        EXPECT_EQ(c.err, cut_warning);
        EXPECT_EQ(c.status, want.status);
    }
    Bytes want_after, after;
    ASSERT_EQ(run_on(clear.file, SET, &want_after).status, 0);
    RunResult w = run_on(scrambled.file, SET, &after);
    EXPECT_EQ(w.err, "m2vhdr: the video stream is scrambled (packet at " + hex8(stretch_at) +
                         "); the file is not changed\n");
    EXPECT_EQ(w.status, 1);
    EXPECT_EQ(after, scrambled.file);
    w = run_on(cut, SET, &after);
    EXPECT_EQ(w.err, cut_warning);
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(after, concat({want_after, extra}));
}

// A programme that moves its video back and forth more times than the
// demultiplexer keeps moves at once, over more than the scan reads ahead:
// the report prints every one.
TEST(Demux, EveryMoveOfALongRecordingIsReported) {
    const Bytes unit = concat({sequence_header({}), sequence_extension({}), group_header({}), picture_header({}),
                               picture_coding_extension({}), slice(40000)});
    const unsigned moves = MAX_CHANGES + 6;
    Bytes es;
    for (unsigned k = 0; k <= moves; ++k) append(es, unit);
    Laid l;
    l.where.assign(es.size(), 0);
    unsigned pat_cc = 0, pmt_cc = 0, cc[2] = {0, 0};
    std::vector<std::uint64_t> pmt_at;
    put_section(l, 0, pat_cc, PAT_SECTION);
    for (unsigned k = 0; k <= moves; ++k) {
        pmt_at.push_back(l.file.size());
        put_section(l, 0x20, pmt_cc, pmt_section(k % 32, {{2, 0x100 + k % 2}}));
        put_video(l, 0x100 + k % 2, cc[k % 2], es, k * unit.size(), (k + 1) * unit.size());
    }
    std::string want = expected_report(run_on(es).out, l, HEAD);
    for (unsigned k = moves; k >= 1; --k) {
        std::size_t at = want.find(hex8(l.where[k * unit.size()]) + ": ");
        ASSERT_NE(at, std::string::npos);
        char line[96];
        std::snprintf(line, sizeof line, "%08llx: video continues on PID 0x%04x (program 1, PMT version %u)\n",
                      static_cast<unsigned long long>(pmt_at[k]), 0x100 + k % 2, k % 32);
        want.insert(at, line);
    }
    RunResult r = run_on(l.file, {"--demux"});
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    // The JSON report lists the first ones and counts the rest.
    RunResult j = run_on(l.file, {"--demux", "--json"});
    EXPECT_NE(j.out.find("{\"offset\": " + std::to_string(pmt_at[MAX_CHANGES]) + ", \"pid\": 256, "
                         "\"program_number\": 1, \"version_number\": 0}\n  ],\n  \"pid_changes_omitted\": 6,\n"),
              std::string::npos);
}

struct ProgramCase {
    const char* name;
    bool mpeg1;
    Bytes header_tail;  // the PES header after PES_packet_length
    int middle;         // the middle PES packet: 0 video, 1 scrambled, 2 padding
};

// A program stream of three PES packets, each behind a pack header: the
// video of the middle one (500 bytes of it when it is not the stream's) and
// its place in the stream.
Laid program_stream(const Bytes& es, const ProgramCase& c) {
    Laid l;
    l.where.assign(es.size(), 0);
    const Bytes pack = c.mpeg1 ? Bytes{0, 0, 1, 0xba, 0x21, 0, 1, 0, 1, 0x80, 0, 1}
                               : Bytes{0, 0, 1, 0xba, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xc3, 0xf8};
    const std::size_t cuts[] = {0, es.size() / 3, 2 * es.size() / 3, es.size()};
    for (int k = 0; k < 3; ++k) {
        const bool other = k == 1 && c.middle != 0;
        const Bytes body = other ? filler(500, 0x33)
                                 : Bytes(es.begin() + static_cast<long>(cuts[k]),
                                         es.begin() + static_cast<long>(cuts[k + 1]));
        Bytes tail = c.header_tail;
        if (other && c.middle == 1) tail[0] |= 0x10;  // PES_scrambling_control '01'
        const std::size_t length = tail.size() + body.size();
        append(l.file, pack);
        if (other && c.middle == 2) {
            append(l.file, concat({{0, 0, 1, 0xbe, static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length)},
                                   filler(length)}));
            continue;
        }
        append(l.file, {0, 0, 1, 0xe0, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        append(l.file, tail);
        for (std::size_t i = 0; !other && i < body.size(); ++i) l.where[cuts[k] + i] = l.file.size() + i;
        append(l.file, body);
    }
    return l;
}

// Every form of PES header the program streams of both kinds carry (MPEG-1's
// stuffing, STD buffer field and time stamps, as mplex writes them), read
// as the elementary stream; a scrambled PES packet read past like padding
// in the report, and refused by a rewrite.
TEST(Demux, ProgramStreamHeadersAndAScrambledPacket) {
    EnglishMessages english;
    const Bytes es = concat({elementary(), elementary(), elementary()});
    const std::string es_report = run_on(es).out;
    const ProgramCase cases[] = {
        {"MPEG-1 without time stamps", true, {0x0f}, 0},
        {"MPEG-1 stuffing", true, {0xff, 0xff, 0xff, 0x0f}, 0},
        {"MPEG-1 STD buffer and PTS", true, {0x60, 0x2e, 0x21, 0, 1, 0, 1}, 0},
        {"MPEG-1 stuffing, STD buffer, PTS and DTS", true,
         {0xff, 0x60, 0x2e, 0x31, 0, 1, 0, 1, 0x11, 0, 1, 0, 1}, 0},
        {"MPEG-1 STD buffer alone", true, {0x40, 0x20, 0x0f}, 0},
        {"MPEG-2 with a PTS", false, {0x80, 0x80, 5, 0x21, 0, 1, 0, 1}, 0},
    };
    for (const ProgramCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Laid l = program_stream(es, c);
        RunResult r = run_on(l.file, {"--demux"});
        EXPECT_EQ(r.out, expected_report(es_report, l,
                                         std::string("stream: program stream (") + (c.mpeg1 ? "MPEG-1" : "MPEG-2") +
                                             "), stream_id 0xe0\n"));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
    ProgramCase scrambled = {"scrambled", false, {0x80, 0, 0}, 1};
    ProgramCase padded = {"padding", false, {0x80, 0, 0}, 2};
    const Laid s = program_stream(es, scrambled);
    const Laid p = program_stream(es, padded);
    const std::uint64_t at = 14 + 6 + 3 + es.size() / 3;  // the second PES packet
    ASSERT_EQ(s.file.size(), p.file.size());
    RunResult r = run_on(s.file, {"--demux"});
    EXPECT_EQ(r.out, run_on(p.file, {"--demux"}).out);
    EXPECT_EQ(r.err, "m2vhdr: warning: the video is scrambled from " + hex8(at + 14) + " for " +
                         std::to_string(6 + 3 + 500) + " bytes and is not read\n");
    EXPECT_EQ(r.status, 1);
    Bytes after;
    RunResult w = run_on(s.file, SET, &after);
    EXPECT_EQ(w.err, "m2vhdr: the video stream is scrambled (packet at " + hex8(at + 14) +
                         "); the file is not changed\n");
    EXPECT_EQ(w.status, 1);
    EXPECT_EQ(after, s.file);
}

// A stream whose last picture, larger than the VBV buffer, is its one
// underflow at any rate, after `units` sequences of 15 small pictures;
// `new_unit`: a sequence header, its extension and a GOP header start that
// picture. *first_header: the stream offset of its first header. Its
// aspect ratio, 1:1, breaks a rule of the DVD profile that --set fixes.
Bytes one_underflow(unsigned units, bool new_unit, std::size_t* first_header) {
    SequenceHeader h;
    h.aspect_ratio_information = 1;
    const Bytes head = concat({sequence_header(h), sequence_extension({}), group_header({})});
    const Bytes small = concat({picture_header({}), picture_coding_extension({}), slice(5000)});
    Bytes es;
    for (unsigned u = 0; u < units; ++u) {
        append(es, head);
        for (int i = 0; i < 15; ++i) append(es, small);
    }
    *first_header = es.size();
    if (new_unit || units == 0) append(es, head);
    append(es, concat({picture_header({}), picture_coding_extension({}), slice(300000)}));
    return es;
}

struct OffsetCase {
    const char* name;
    unsigned units;
    bool new_unit;
    std::vector<std::string> stream;  // --stream as given
    const char* demux_options;        // as the fix must give them
};

// The first underflow of --stats and every finding of --check lie at the
// file offsets of their headers, before and beyond the first megabyte of
// video that the scan holds at once; the fixes read the container (the
// oracle of the profiles runs them).
TEST(Demux, StatsAndCheckGiveFileOffsetsAndFixesThatReadTheContainer) {
    const OffsetCase cases[] = {
        {"the first picture", 0, true, {}, "--demux "},
        {"a picture header", 3, false, {"--stream", "256"}, "--demux --stream 0x0100 "},
        {"a sequence header beyond 1 MiB", 20, true, {"--stream", "0x100"}, "--demux --stream 0x0100 "},
    };
    const std::string underflow = "FAIL vbv_underflow: VBV underflow at 8000000 bit/s with a buffer of "
                                  "1835008 bits (first at 0x";
    for (const OffsetCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t first = 0;
        const Bytes es = one_underflow(c.units, c.new_unit, &first);
        Laid l = transport(es, {100, false, false, false, 0});
        ScratchDir dir;
        const std::string path = dir.write("in.ts", l.file);
        auto command = [&](std::initializer_list<std::string> args) {
            std::vector<std::string> all = {"m2vhdr", "--demux"};
            all.insert(all.end(), c.stream.begin(), c.stream.end());
            all.insert(all.end(), args);
            all.push_back(path);
            return run_tool(all);
        };
        RunResult json = command({"--stats", "--json"});
        EXPECT_EQ(json.status, 0) << json.err;
        EXPECT_NE(json.out.find("\"vbv_underflows\": 1,\n  \"first_underflow_offset\": " +
                                std::to_string(l.where[first]) + ",\n"), std::string::npos) << json.out;
        RunResult check = command({"--check", "dvd"});
        const std::string fix = std::string("m2vhdr ") + c.demux_options +
                                "--set aspect_ratio_information=4:3 " + path;
        EXPECT_EQ(check.out, "FAIL aspect_ratio: 1:1 at 720x480 (first at 0x" + hex8(l.where[0]) + ", " +
                                 std::to_string(c.units + (c.new_unit || c.units == 0)) +
                                 " times) - fix: " + fix + "\n" + underflow + hex8(l.where[first]) +
                                 ", 1 times)\ndvd: 2 rules broken\n");
        EXPECT_EQ(check.err, "");
        EXPECT_EQ(check.status, 3);  // a rule broken
    }
}

// A program stream whose video lies beyond 4 GiB, past padding packets
// whose bodies are holes: offsets and patches in full 64 bits.
TEST(Demux, ProgramStreamBeyondFourGibibytes) {
    ScratchDir dir;
    std::string path = dir.path() + "/big.mpg";
    int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const Bytes pack = {0, 0, 1, 0xba, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xc3, 0xf8};
    const Bytes padding = {0, 0, 1, 0xbe, 0xff, 0xff};
    std::uint64_t at = 0;
    auto put = [&](const Bytes& b) {
        ASSERT_EQ(::pwrite(fd, b.data(), b.size(), static_cast<off_t>(at)), static_cast<ssize_t>(b.size()));
        at += b.size();
    };
    put(pack);
    while (at < (1ull << 32)) {
        put(padding);
        at += 0xffff;  // a hole of zeros: the padding packet's body
    }
    const Bytes es = concat({sequence_header({}), sequence_extension({})});
    put(pack);
    put({0, 0, 1, 0xe0, 0, static_cast<std::uint8_t>(3 + es.size()), 0x80, 0, 0});
    const std::uint64_t video = at;
    put(es);
    ::close(fd);
    RunResult r = run_tool({"m2vhdr", "--demux", "--dry-run", path, "7000000"});
    EXPECT_EQ(r.status, 0) << r.err;
    // bit_rate_value: bits 64..81 of the header, 20000 -> 7000000 / 400 =
    // 17500, then the marker bit and vbv_buffer_size_value's 5 high bits
    // (112): 000100111000100000 1 00011 -> 000100010001011100 1 00011.
    // bit_rate_extension: bits 51..62 of the extension, 0 both times, so
    // its unchanged bytes are not listed.
    EXPECT_EQ(r.out, hex8(video + 8) + ": 13 88 23 -> 11 17 23\n");
}

// Transport packets of every kind that the demultiplexer's short way takes,
// skips or leaves to the long way, one letter a packet, after a PAT and PMT
// that name PID as the video:
//   U  a PES packet start (PES_packet_length 0) and 175 video bytes
//   B  a PES packet start that says its payload ends 300 bytes on (175 here)
//   V  184 payload bytes        P  176, after a PCR in an adaptation field
//   Z  183, after an empty adaptation field
//   S  100, after stuffing      I  182, the discontinuity_indicator set and
//                                  the counter 5 on instead of 1
//   G  184, the counter 2 on (a gap)
//   D  the last video packet sent again
//   E  an adaptation field without payload
//   N  a null packet            A  a packet of another PID
//   L  an adaptation field one byte longer than the L before (0 first)
// Payload bytes past a bounded PES packet's end are not video.
struct PacketLayout {
    Bytes file;
    Bytes video;                       // the stream as handed out
    std::vector<std::uint64_t> where;  // the file offset of each of its bytes
};

PacketLayout lay_packets(std::uint32_t packet_size, const std::string& kinds) {
    PacketLayout m;
    Laid tables;
    put_packet(tables, 0, true, 0, pat_payload());
    put_packet(tables, 0x20, true, 0, pmt_payload(PID));
    for (std::size_t i = 0; i < tables.file.size(); i += 188) {
        m.file.insert(m.file.end(), packet_size - 188, 0x00);  // the time-code prefix
        m.file.insert(m.file.end(), tables.file.begin() + static_cast<long>(i),
                      tables.file.begin() + static_cast<long>(i + 188));
    }
    unsigned cc = 15;
    std::size_t growing = 0;          // adaptation_field_length of the next L
    std::size_t pes_left = SIZE_MAX;  // video bytes the PES packet still holds
    Bytes last;
    for (char kind : kinds) {
        if (kind == 'D') {
            append(m.file, last);
            continue;
        }
        unsigned pid = kind == 'N' ? 0x1fff : kind == 'A' ? 0x101 : PID;
        bool start = kind == 'U' || kind == 'B';
        if (pid == PID && kind != 'E') cc = (cc + (kind == 'G' ? 2 : kind == 'I' ? 5 : 1)) & 15;
        Bytes adaptation;  // adaptation_field_length and what it counts
        if (kind == 'P') adaptation = {7, 0x10, 1, 2, 3, 4, 0x7e, 5};
        if (kind == 'Z') adaptation = {0};
        if (kind == 'I') adaptation = {1, 0x80};
        if (kind == 'L') {
            adaptation.assign(1 + growing, 0xff);
            adaptation[0] = static_cast<std::uint8_t>(growing);
            growing = (growing + 1) % 184;
            if (adaptation.size() > 1) adaptation[1] = 0x00;
        }
        if (kind == 'S' || kind == 'E') {
            adaptation.assign(kind == 'S' ? 84 : 184, 0xff);
            adaptation[0] = static_cast<std::uint8_t>(adaptation.size() - 1);
            adaptation[1] = 0x00;
        }
        unsigned control = adaptation.empty() ? 1 : kind == 'E' ? 2 : 3;
        Bytes p(packet_size - 188, 0x00);
        append(p, {0x47, static_cast<std::uint8_t>((start ? 0x40 : 0) | pid >> 8),
                   static_cast<std::uint8_t>(pid), static_cast<std::uint8_t>(control << 4 | cc)});
        append(p, adaptation);
        if (start) {
            std::size_t length = kind == 'B' ? 3 + 300 : 0;
            append(p, {0, 0, 1, 0xe0, static_cast<std::uint8_t>(length >> 8),
                       static_cast<std::uint8_t>(length), 0x80, 0, 0});
            pes_left = kind == 'B' ? 300 : SIZE_MAX;
        }
        for (std::size_t k = p.size(); k < packet_size; ++k) {
            bool video = pid == PID && pes_left > 0;
            if (video) {
                m.where.push_back(m.file.size() + k);
                m.video.push_back(static_cast<std::uint8_t>(m.video.size() * 131 + 7));
                if (pes_left != SIZE_MAX) --pes_left;
            }
            p.push_back(video ? m.video.back() : 0xee);
        }
        if (pid == PID) last = p;
        append(m.file, p);
    }
    return m;
}

struct MapCase {
    const char* name;
    std::uint32_t packet_size;
    std::string packets;
    std::vector<std::uint32_t> fill_sizes;
};

// Read in fills of many sizes (as the scanner reads, forgetting the map
// behind each fill), the demultiplexer hands out exactly the video bytes,
// and its map gives for each the file offset where it was laid.
TEST(Demux, MapGivesTheFileOffsetOfEveryByteWhateverTheFillSize) {
    const std::vector<std::uint32_t> every = {1, 7, 183, 184, 185, 4096, 1u << 17};
    std::string gaps;
    for (int i = 0; i < 22000; ++i) gaps += "GV"[i % 5 == 4];  // more runs than the ring holds
    // Adaptation fields of every length from 0 to 183, between runs of
    // whole payloads and before new starts.
    std::string lengths = "U";
    for (int i = 0; i < 184; ++i) lengths += i % 3 == 0 ? "LVVU" : i % 3 == 1 ? "VLV" : "LNL";
    const MapCase cases[] = {
        {"whole payloads in a row", 188, "UVVVVVVVVVVV", every},
        {"null packets between", 188, "UVNVNVNVNVNNV", every},
        {"adaptation fields in a run", 188, "UVVPVVZVVSVVPVVVEVV", every},
        {"another PID at uneven distances", 188, "UVAVVAAVVVAVNVAV", every},
        {"duplicates, gaps, a discontinuity", 188, "UVVDVVGVVIVVDDV", every},
        {"bounded PES packets and new starts", 188, "BVVVVUVVBVVBSSU", every},
        {"time-code prefixes", 192, "UVVPVNVVDVAVZVSGV", every},
        {"a gap at every packet", 188, "U" + gaps, {4096, 1u << 17}},
        {"adaptation fields of every length", 188, lengths, every},
        {"every length with time-code prefixes", 192, lengths, {183, 184, 4096}},
        {"long runs of whole payloads", 188, "U" + std::string(3000, 'V') + "U" + std::string(700, 'V'),
         {1, 184, 185, 4096, 1u << 17}},
    };
    ScratchDir dir;
    for (const MapCase& c : cases) {
        const PacketLayout m = lay_packets(c.packet_size, c.packets);
        const std::string path = dir.write("map.ts", m.file);
        for (std::uint32_t fill : c.fill_sizes) {
            SCOPED_TRACE(std::string(c.name) + ", fills of " + std::to_string(fill));
            FileHandle file;
            ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ, &file));
            std::FILE* warnings = std::tmpfile();
            Input input;
            ASSERT_TRUE(input_open(input, file));
            Demuxer d;
            ASSERT_TRUE(demux_open(d));
            ASSERT_TRUE(demux_detect(d, input, warnings, demux_warnings_on(warnings)));
            ASSERT_TRUE(demux_choose(d, -1, warnings));
            EXPECT_EQ(d.stream, PID);
            Bytes video;
            std::vector<std::uint64_t> where;
            std::vector<std::uint8_t> buffer(fill);
            std::uint32_t got = 0;
            do {
                demux_fill(d, buffer.data(), fill, &got);
                video.insert(video.end(), buffer.begin(), buffer.begin() + got);
                std::vector<std::uint64_t> offsets(got);
                demux_locate(d, d.stream_end - got, got, offsets.data());
                where.insert(where.end(), offsets.begin(), offsets.end());
                if (got > 0) {
                    EXPECT_EQ(demux_file_offset(d, d.stream_end - 1), offsets.back());
                }
                demux_forget_before(d, d.stream_end);
            } while (got > 0);
            EXPECT_EQ(d.stop, DemuxStop::NONE);
            EXPECT_EQ(video, m.video);
            EXPECT_EQ(where, m.where);
            demux_close(d);
            input_close(input);
            platform_close(file);
            std::fclose(warnings);
        }
    }
}

// The scanner's two sources of the same video: the elementary stream as a
// file of its own, where stream offsets are file offsets, and a transport
// stream that carries it with a continuity gap. Asked in order, from any
// offset (the bytes before it passed over), each gives the video's bytes
// and the file offset of each, before and after the pass; the transport
// stream's one warning comes once, through the callback, from the reading
// pass alone.
TEST(StreamSources, ElementaryIsTheIdentityAndTheDemultiplexerMapsToThePackets) {
    const PacketLayout m = lay_packets(188, "UVVPVVGVVSVVBVVVZVVVVV");
    const std::uint64_t gap_packet = 2 * 188 + 6 * 188;  // after the PAT and PMT
    const std::uint64_t size = m.video.size();
    struct Ask {
        std::uint64_t from;
        std::uint32_t count;
    };
    struct Case {
        const char* name;
        std::vector<Ask> asks;
    };
    const Case cases[] = {
        {"in order", {{0, 500}, {500, 1}, {501, 8192}}},
        {"over bytes inside a packet", {{0, 10}, {300, 100}, {400, 8192}}},
        {"over whole packets", {{0, 1}, {1000, 8192}}},
        {"beyond the end", {{0, 1}, {size + 5, 10}}},
    };
    struct Told {
        std::vector<DemuxWarning> warnings;
        static void take(void* state, const DemuxWarning& w) {
            static_cast<Told*>(state)->warnings.push_back(w);
        }
    };
    ScratchDir dir;
    const std::string paths[] = {dir.write("video.m2v", m.video), dir.write("video.ts", m.file)};
    for (const Case& c : cases) {
        for (bool container : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (container ? ", transport stream" : ", elementary stream"));
            auto file_offset = [&](std::uint64_t k) { return container ? m.where[k] : k; };
            FileHandle file;
            ASSERT_TRUE(platform_open(paths[container].c_str(), FileAccess::READ, &file));
            Input input;
            ASSERT_TRUE(input_open(input, file));
            ElementarySource elementary{&input};
            StreamSource source = elementary_source(elementary);
            Demuxer d;
            Told told;
            if (container) {
                ASSERT_TRUE(demux_open(d));
                ASSERT_TRUE(demux_detect(d, input, stderr, {Told::take, &told}));
                ASSERT_TRUE(demux_choose(d, -1, stderr));
                source = demux_source(d);
            }
            EXPECT_EQ(source.functions->whole_file, !container);
            Bytes buffer(8192);
            for (const Ask& a : c.asks) {
                SCOPED_TRACE(a.from);
                SourceFill f = source_fill(source, a.from, buffer.data(), a.count);
                EXPECT_EQ(f.status, SourceStatus::OK);
                std::uint64_t expected = a.from >= size ? 0 : std::min<std::uint64_t>(a.count, size - a.from);
                ASSERT_EQ(f.got, expected);
                if (f.got == 0) continue;
                EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + f.got),
                          Bytes(m.video.begin() + static_cast<long>(a.from),
                                m.video.begin() + static_cast<long>(a.from + f.got)));
                std::vector<std::uint64_t> offsets(f.got), want(f.got);
                source_locate(source, a.from, f.got, offsets.data());
                for (std::uint32_t i = 0; i < f.got; ++i) want[i] = file_offset(a.from + i);
                EXPECT_EQ(offsets, want);
                EXPECT_EQ(source_file_offset(source, a.from + f.got - 1), want.back());
                source_forget_before(source, a.from + f.got);
            }
            ASSERT_EQ(told.warnings.size(), container ? 1u : 0u);
            if (container) {
                EXPECT_EQ(told.warnings[0].kind, DemuxWarningKind::CONTINUITY_GAP);
                EXPECT_EQ(told.warnings[0].pid, PID);
                EXPECT_EQ(told.warnings[0].file_offset, gap_packet);
            }
            // Once the pass is over, by reading again: no warning this time.
            for (std::uint64_t k : {std::uint64_t{0}, size / 2, size - 1}) {
                std::uint64_t at = UINT64_MAX;
                ASSERT_TRUE(source_file_offset_after(source, k, buffer.data(), 8192, &at));
                EXPECT_EQ(at, file_offset(k)) << k;
            }
            EXPECT_EQ(told.warnings.size(), container ? 1u : 0u);
            if (container) demux_close(d);
            input_close(input);
            platform_close(file);
        }
    }
}

// A pack header inside the video refuses the stream where it stands; the
// hint to read it with --demux comes only when the file was read as it lies.
TEST(Demux, PackHeaderInTheVideoIsRefusedWithTheHintOnlyWithoutTheContainer) {
    EnglishMessages english;
    const Bytes before = concat({sequence_header({}), sequence_extension({}), group_header({}),
                                 picture_header({}), picture_coding_extension({}), slice(300)});
    const Bytes es = concat({before, {0, 0, 1, 0xba, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xc3, 0xf8}, slice(300)});
    const std::string refusal = "Found an MPEG System header. MPEG System files cannot be handled.\n";
    const std::string hint = "m2vhdr: the video in a program or transport stream can be read with --demux\n";
    const std::string report = run_on(before).out;
    const Laid l = transport(es, {40, false, false, false, 0});
    struct Case {
        const char* name;
        Bytes file;
        std::vector<std::string> args;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"the elementary stream", es, {}, report, refusal + hint},
        {"in a transport stream", l.file, {"--demux"}, expected_report(report, l, HEAD), refusal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult r = run_on(c.file, c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

// Output without the scratch folder that run_on names the file in.
std::string unnamed(const std::string& text) {
    static const std::regex folder("[^ \"\n]*m2vhdr-test-[^/]*/");
    return std::regex_replace(text, folder, "");
}

// The newer modes read a program or transport stream by themselves, as
// with --demux: the same output, status and file. Only the two original
// forms, the report and the positional BITRATE (`auto` too), keep their
// refusal, byte for byte, and leave the file as it was; --demux opens the
// container for them.
TEST(Demux, ContainersWithoutDemuxInEveryNewerMode) {
    const Bytes es = concat({elementary(), elementary()});
    const Laid ts = transport(es, {40, false, false, false, 0});
    const Laid ps = program_stream(es, {"MPEG-2 with a PTS", false, {0x80, 0x80, 5, 0x21, 0, 1, 0, 1}, 0});
    const struct {
        const char* name;
        const Bytes& file;
    } inputs[] = {{"elementary", es}, {"transport", ts.file}, {"program", ps.file}};
    const std::vector<std::vector<std::string>> modes = {
        {"--stats"},
        {"--stats", "--json"},
        {"--check", "dvd"},
        {"--summary"},
        {"--summary", "--json"},
        {"--json"},
        {"--set", "aspect_ratio_information=3"},
        {"--set", "aspect_ratio_information=3", "--dry-run"},
        {"--dry-run", "7000000"},
        {"--json", "7000000"},
    };
    for (const auto& input : inputs) {
        for (const auto& mode : modes) {
            std::string line = input.name;
            for (const std::string& a : mode) line += " " + a;
            SCOPED_TRACE(line);
            Bytes after, after_demux;
            RunResult r = run_on(input.file, mode, &after);
            std::vector<std::string> with_demux = mode;
            with_demux.insert(with_demux.begin(), "--demux");
            RunResult d = run_on(input.file, with_demux, &after_demux);
            EXPECT_NE(r.status, 1) << r.err;
            EXPECT_EQ(r.status, d.status);
            EXPECT_EQ(unnamed(r.out), unnamed(d.out));
            EXPECT_EQ(unnamed(r.err), unnamed(d.err));
            EXPECT_EQ(after, after_demux);
        }
    }
    // `auto` was never an original form: its refusal has always named --demux.
    const std::string refusal =
        sjis("MPEG System ヘッダが見つかりました。MPEG System ファイルは取り扱えません。\n");
    const std::string hint =
        sjis("m2vhdr: プログラムストリームやトランスポートストリームの映像は --demux で読めます\n");
    for (const auto& input : inputs) {
        if (&input.file == &es) continue;
        for (const std::vector<std::string>& form : {std::vector<std::string>{},
                                                     std::vector<std::string>{"7000000"},
                                                     std::vector<std::string>{"auto"}}) {
            SCOPED_TRACE(std::string(input.name) + (form.empty() ? "" : " " + form[0]));
            Bytes after;
            RunResult r = run_on(input.file, form, &after);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, form.size() == 1 && form[0] == "auto" ? refusal + hint : refusal);
            EXPECT_EQ(after, input.file);
            std::vector<std::string> with_demux = form;
            with_demux.insert(with_demux.begin(), "--demux");
            EXPECT_EQ(run_on(input.file, with_demux).status, 0);
        }
    }
}

// Two recordings joined: the second's first packet starts a PES packet with
// the counter where the first's last packet left it. That is a gap, warned
// of, not the last packet sent twice: the second recording's first
// sequence is read. A packet that repeats a PES start stays a duplicate.
TEST(Demux, PesStartWithTheLastCounterIsNoDuplicate) {
    EnglishMessages english;
    const Bytes es = elementary();
    for (bool repeat_start : {false, true}) {
        SCOPED_TRACE(repeat_start ? "the start sent twice" : "a join");
        Laid l = transport(es, {100, false, false, false, 0});
        // The last packet of the video has counter 2: the PES start with 100
        // bytes of the stream has 0, the rest (255 bytes) 1 and 2.
        ASSERT_EQ(es.size(), 355u);
        const Bytes pes = {0, 0, 1, 0xe0, 0, 0, 0x80, 0, 0};
        Bytes start = concat({pes, Bytes(es.begin(), es.begin() + 175)});
        Bytes rest(es.begin() + 175, es.end());
        std::size_t first = l.file.size();
        put_packet(l, PID, true, 2, start);
        if (repeat_start) {
            const Bytes again(l.file.begin() + static_cast<long>(first), l.file.end());
            append(l.file, again);
        }
        put_packet(l, PID, false, 3, rest);
        RunResult r = run_on(l.file, {"--demux"});
        std::size_t sequences = 0;
        for (std::size_t at = 0; (at = r.out.find("SEQUENCE_HEADER_CODE", at)) != std::string::npos; ++at)
            ++sequences;
        EXPECT_EQ(sequences, 2u) << r.out;
        std::string gap = "m2vhdr: warning: continuity counter gap on PID 0x0100 at " + hex8(first) +
                          ": bytes of the video are lost\n";
        EXPECT_EQ(r.err, gap);  // the join; its start's copy is dropped silently
    }
}

}  // namespace

