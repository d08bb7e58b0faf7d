// The patch listener and the patch targets: a listener attached to a
// rewrite hears exactly the patches that reach the file, and those a dry run
// lists, each with its target; each target bounds and flushes its own writes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rewrite/rewrite.hpp"
#include "tool_runner.hpp"

namespace {

struct Heard {
    const PatchTarget* target;
    std::uint64_t offset;
    Bytes old_bytes;
    Bytes new_bytes;
    bool operator==(const Heard&) const = default;
};

void hear_patch(void* state, const StreamContext&, const PatchTarget& target, std::uint64_t offset,
                const std::uint8_t* old_bytes, const std::uint8_t* new_bytes, std::uint32_t count) {
    static_cast<std::vector<Heard>*>(state)->push_back(
        {&target, offset, Bytes(old_bytes, old_bytes + count), Bytes(new_bytes, new_bytes + count)});
}

const PatchListener recording_listener = {
    hear_patch,
    [](void*, const StreamContext&, ProgressPoint) {},
    [](void*, const StreamContext&) {},
    [](void*, const StreamContext&, const char*, std::uint64_t, std::uint64_t) {},
    [](void*, const StreamContext&, std::uint64_t, std::uint64_t, std::uint64_t) {},
    [](void*, const StreamContext&, const PulldownSummary&) {},
};

// A rewrite of the file at `path` as run_program sets one up, with the
// recording listener in place of the one the run would choose.
struct RecordedRun {
    bool ok = false;
    std::vector<Heard> heard;
    const PatchTarget* stream = nullptr;  // where the stream's target was
    std::string stream_name;
};

RecordedRun record_rewrite(const std::string& path, const std::vector<std::string>& sets,
                           std::uint32_t bit_rate, bool dry_run) {
    RecordedRun r;
    StreamContext ctx;
    ctx.run.mode = Mode::REWRITE;
    ctx.run.path = path.c_str();
    ctx.run.dry_run = dry_run;
    ctx.run.out = std::tmpfile();
    ctx.run.err = std::tmpfile();
    ctx.run.target_bit_rate = bit_rate;
    ctx.run.rewrites_bit_rate = bit_rate != 0;
    ctx.progress.style = ProgressStyle::NONE;
    ElementSettings settings;
    for (const std::string& s : sets) EXPECT_TRUE(parse_element_setting(s.c_str(), &settings)) << s;
    EXPECT_TRUE(platform_open(path.c_str(), dry_run ? FileAccess::READ : FileAccess::READ_WRITE, &ctx.file));
    ctx.win.bytes = static_cast<std::uint8_t*>(std::calloc(WINDOW_SIZE + WINDOW_PADDING, 1));
    Input input;
    EXPECT_TRUE(input_open(input, ctx.file));
    ElementarySource elementary{&input};
    ctx.source = elementary_source(elementary);
    PatchTarget* target = add_patch_target(ctx.targets, ctx.file, ctx.run.path, !dry_run);
    EXPECT_NE(target, nullptr);
    ctx.listener = {&recording_listener, &r.heard};
    RewriteState state;
    start_rewrite(ctx, state, settings, bit_rate != 0);
    r.ok = target && scan_stream(ctx) != ScanOutcome::STOPPED && finish_rewrite(ctx, state);
    r.stream = target;
    r.stream_name = target && target->name ? target->name : "";
    std::free(ctx.win.bytes);
    input_close(input);
    platform_close(ctx.file);
    std::fclose(ctx.run.out);
    std::fclose(ctx.run.err);
    return r;
}

// A dry run's lines as they are spelt: "%08llx:", " %02x" per old byte,
// " ->", " %02x" per new byte.
std::string dry_run_lines(const std::vector<Heard>& heard) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const Heard& h : heard) {
        std::string offset;
        for (int shift = 28; shift >= 0; shift -= 4) offset += digits[(h.offset >> shift) & 15];
        text += offset + ":";
        for (std::uint8_t b : h.old_bytes) text += std::string(" ") + digits[b >> 4] + digits[b & 15];
        text += " ->";
        for (std::uint8_t b : h.new_bytes) text += std::string(" ") + digits[b >> 4] + digits[b & 15];
        text += "\n";
    }
    return text;
}

// Three sequences with pictures; `with_extension[i]` false makes the i-th
// an MPEG-1 one.
Bytes three_sequences(const SequenceHeader (&h)[3], const SequenceExtension (&e)[3],
                      const bool (&with_extension)[3]) {
    Bytes s;
    for (int i = 0; i < 3; ++i) {
        append(s, sequence_header(h[i]));
        if (with_extension[i]) append(s, sequence_extension(e[i]));
        append(s, concat({group_header({}), picture_header({})}));
        if (with_extension[i]) append(s, picture_coding_extension({}));
        append(s, slice(40));
    }
    append(s, sequence_end());
    return s;
}

struct ListenerCase {
    const char* name;
    std::vector<std::string> sets;  // --set ELEMENT=VALUE
    std::uint32_t bit_rate;         // the positional BITRATE, or 0
    bool with_extension[3];
    // The fields each sequence has after the rewrite.
    void (*expect)(SequenceHeader&, SequenceExtension&, bool with_extension);
};

// A listener told of a real rewrite hears each part that reached the file
// once, with the stream's target, and nothing else: applied to the file as
// it was, they give the stream built with the new values, which is what the
// file holds after. A dry run of the same file lists the same patches, in
// the tool's lines as in the listener.
TEST(PatchListener, HearsWhatReachesTheFileAndWhatADryRunLists) {
    const ListenerCase cases[] = {
        // 7 000 000 bit/s: bit_rate_value 17500, extension 0; the MPEG-1
        // sequence keeps its rate under the positional form.
        {"positional rate", {}, 7000000, {true, true, false},
         [](SequenceHeader& h, SequenceExtension& e, bool ext) {
             if (!ext) return;
             h.bit_rate_value = 17500;
             e.bit_rate_extension = 0;
         }},
        // 8 000 000 bit/s: bit_rate_value 20000, extension 0; aspect 3 in
        // the header of every sequence (the second has it already).
        {"set", {"aspect_ratio_information=3", "bit_rate=8000000"}, 0, {true, true, true},
         [](SequenceHeader& h, SequenceExtension& e, bool) {
             h.aspect_ratio_information = 3;
             h.bit_rate_value = 20000;
             e.bit_rate_extension = 0;
         }},
    };
    SequenceHeader h[3];
    SequenceExtension e[3];
    h[0].bit_rate_value = 20000;
    h[1].bit_rate_value = 17500;  // already right for the positional rate
    h[1].aspect_ratio_information = 3;
    h[2].bit_rate_value = 30000;
    e[2].bit_rate_extension = 2;
    for (const ListenerCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes before = three_sequences(h, e, c.with_extension);
        SequenceHeader th[3] = {h[0], h[1], h[2]};
        SequenceExtension te[3] = {e[0], e[1], e[2]};
        for (int i = 0; i < 3; ++i) c.expect(th[i], te[i], c.with_extension[i]);
        const Bytes expected = three_sequences(th, te, c.with_extension);
        ASSERT_EQ(expected.size(), before.size());
        ASSERT_NE(expected, before);

        ScratchDir dir;
        const std::string path = dir.write("s.m2v", before);
        RecordedRun dry = record_rewrite(path, c.sets, c.bit_rate, true);
        EXPECT_TRUE(dry.ok);
        EXPECT_EQ(read_file(path), before);
        RecordedRun real = record_rewrite(path, c.sets, c.bit_rate, false);
        EXPECT_TRUE(real.ok);
        EXPECT_EQ(read_file(path), expected);

        Bytes applied = before;
        for (const Heard& p : real.heard) {
            EXPECT_EQ(p.target, real.stream);
            ASSERT_LE(p.offset + p.new_bytes.size(), before.size());
            EXPECT_EQ(Bytes(before.begin() + static_cast<long>(p.offset),
                            before.begin() + static_cast<long>(p.offset + p.old_bytes.size())),
                      p.old_bytes);
            EXPECT_NE(p.old_bytes, p.new_bytes);
            std::copy(p.new_bytes.begin(), p.new_bytes.end(), applied.begin() + static_cast<long>(p.offset));
        }
        EXPECT_EQ(applied, expected);
        EXPECT_EQ(real.stream_name, path);

        // The dry run heard the same patches, against its own target.
        ASSERT_EQ(dry.heard.size(), real.heard.size());
        for (std::size_t i = 0; i < dry.heard.size(); ++i) {
            EXPECT_EQ(dry.heard[i].target, dry.stream);
            Heard same = dry.heard[i];
            same.target = real.heard[i].target;
            EXPECT_EQ(same, real.heard[i]);
        }
        const std::string dry_path = dir.write("d.m2v", before);
        std::vector<std::string> args = {"m2vhdr", "--dry-run"};
        for (const std::string& s : c.sets) args.insert(args.end(), {"--set", s});
        args.push_back(dry_path);
        if (c.bit_rate != 0) args.push_back(std::to_string(c.bit_rate));
        RunResult listed = run_tool(args);
        EXPECT_EQ(listed.status, 0);
        EXPECT_EQ(listed.out, dry_run_lines(real.heard));
        EXPECT_EQ(listed.err, "");
        EXPECT_EQ(read_file(dry_path), before);
    }
}

// Two targets of different sizes: each patch is bounded by the size of its
// own target as it was when the target was added, and one that would pass
// it is neither written nor heard. finish_patches then flushes every target
// that was written, and only those.
TEST(PatchListener, EachTargetBoundsItsOwnWrites) {
    ScratchDir dir;
    const Bytes zeros_a(64, 0x00), zeros_b(16, 0x00);
    const std::string path_a = dir.write("a.bin", zeros_a);
    const std::string path_b = dir.write("b.bin", zeros_b);
    StreamContext ctx;
    ctx.run.err = std::tmpfile();
    FileHandle a, b;
    ASSERT_TRUE(platform_open(path_a.c_str(), FileAccess::READ_WRITE, &a));
    ASSERT_TRUE(platform_open(path_b.c_str(), FileAccess::READ_WRITE, &b));
    ASSERT_NE(add_patch_target(ctx.targets, a, path_a.c_str(), true), nullptr);
    ASSERT_NE(add_patch_target(ctx.targets, b, path_b.c_str(), true), nullptr);
    ASSERT_EQ(ctx.targets.count, 2u);
    EXPECT_EQ(ctx.targets.target[0].size, 64);
    EXPECT_EQ(ctx.targets.target[1].size, 16);
    // b grows after it was measured: its new bytes stay out of reach.
    {
        std::FILE* grow = std::fopen(path_b.c_str(), "ab");
        ASSERT_NE(grow, nullptr);
        std::fwrite("\0\0\0\0\0\0\0\0", 1, 8, grow);
        std::fclose(grow);
    }
    std::vector<Heard> heard;
    ctx.listener = {&recording_listener, &heard};

    struct Row {
        unsigned target;
        std::uint64_t offset;
        std::uint32_t count;
        bool written;
    };
    const Row rows[] = {
        {1, 12, 4, true},   // ends on b's last byte
        {1, 13, 4, false},  // one past b's end
        {0, 13, 4, true},   // a's size lets it through
        {1, 16, 1, false},  // in the bytes b gained later
        {0, 60, 4, true},   // ends on a's last byte
        {0, 61, 4, false},
    };
    Bytes want_a = zeros_a, want_b = zeros_b;
    want_b.resize(24, 0x00);
    std::vector<Heard> want_heard;
    std::uint8_t value = 0x10;
    for (const Row& r : rows) {
        PatchTarget& t = ctx.targets.target[r.target];
        PatchPlace place;
        for (std::uint32_t i = 0; i < PLACE_BYTES; ++i) place.file_offset[i] = r.offset + i;
        const std::uint8_t old_bytes[4] = {};
        const std::uint8_t new_bytes[4] = {value, static_cast<std::uint8_t>(value + 1),
                                           static_cast<std::uint8_t>(value + 2),
                                           static_cast<std::uint8_t>(value + 3)};
        value = static_cast<std::uint8_t>(value + 0x10);
        EXPECT_TRUE(write_patch(ctx, t, place, 0, old_bytes, new_bytes, r.count));
        if (!r.written) continue;
        Bytes& want = r.target == 0 ? want_a : want_b;
        std::copy(new_bytes, new_bytes + r.count, want.begin() + static_cast<long>(r.offset));
        want_heard.push_back({&t, r.offset, Bytes(old_bytes, old_bytes + r.count),
                              Bytes(new_bytes, new_bytes + r.count)});
    }
    EXPECT_EQ(heard, want_heard);
    EXPECT_TRUE(ctx.targets.target[0].unflushed_writes);
    EXPECT_TRUE(ctx.targets.target[1].unflushed_writes);
    EXPECT_TRUE(finish_patches(ctx));
    EXPECT_FALSE(ctx.targets.target[0].unflushed_writes);
    EXPECT_FALSE(ctx.targets.target[1].unflushed_writes);
    platform_close(a);
    platform_close(b);
    EXPECT_EQ(read_file(path_a), want_a);
    EXPECT_EQ(read_file(path_b), want_b);
    EXPECT_EQ(std::ftell(ctx.run.err), 0);
    std::fclose(ctx.run.err);
}

// A write that fails names the file of its target, not the stream's.
TEST(PatchListener, AFailedWriteNamesItsTarget) {
    EnglishMessages english;
    ScratchDir dir;
    const std::string path = dir.write("stream.m2v", Bytes(32, 0x00));
    const std::string side = dir.write("side.ifo", Bytes(32, 0x00));
    StreamContext ctx;
    ctx.run.path = path.c_str();
    ctx.run.err = std::tmpfile();
    FileHandle stream, readable;
    ASSERT_TRUE(platform_open(path.c_str(), FileAccess::READ_WRITE, &stream));
    ASSERT_TRUE(platform_open(side.c_str(), FileAccess::READ, &readable));
    ASSERT_NE(add_patch_target(ctx.targets, stream, ctx.run.path, true), nullptr);
    // Open for reading only, yet taken for writing: the write fails.
    PatchTarget* t = add_patch_target(ctx.targets, readable, side.c_str(), true);
    ASSERT_NE(t, nullptr);
    std::vector<Heard> heard;
    ctx.listener = {&recording_listener, &heard};
    PatchPlace place;
    for (std::uint32_t i = 0; i < PLACE_BYTES; ++i) place.file_offset[i] = 4 + i;
    const std::uint8_t old_bytes[2] = {0, 0}, new_bytes[2] = {1, 2};
    EXPECT_FALSE(write_patch(ctx, *t, place, 0, old_bytes, new_bytes, 2));
    EXPECT_TRUE(heard.empty());
    std::string err(static_cast<std::size_t>(std::ftell(ctx.run.err)), '\0');
    std::rewind(ctx.run.err);
    err.resize(std::fread(err.data(), 1, err.size(), ctx.run.err));
    EXPECT_EQ(err, "m2vhdr: cannot write '" + side + "': " + std::strerror(EBADF) + "\n");
    std::fclose(ctx.run.err);
    platform_close(stream);
    platform_close(readable);
    EXPECT_EQ(read_file(side), Bytes(32, 0x00));
}

}  // namespace
