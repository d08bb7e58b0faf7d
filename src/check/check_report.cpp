// The run of --check and its report: the rules that only the whole stream
// decides (a stream at all, the VBV), the fix of each rule broken, and the
// text or JSON output.
#include <cstring>

#include "check/check.hpp"
#include "check/check_text.hpp"
#include "check/fix_command.hpp"
#include "json/json_envelope.hpp"
#include "messages.hpp"
#include "stats/run_stats.hpp"
#include "scan/file_failure.hpp"

namespace {

using ull = unsigned long long;

const RuleFinding& finding(const CheckState& c, RuleKind kind) {
    return c.findings[static_cast<unsigned>(kind)];
}
RuleFinding& finding(CheckState& c, RuleKind kind) {
    return c.findings[static_cast<unsigned>(kind)];
}

bool in_table(const ProfileRules& r, RuleKind kind) {
    for (unsigned i = 0; i < r.rule_count; ++i)
        if (r.rules[i] == kind) return true;
    return false;
}

// The VBV at the smaller of the nominal rate and the profile's cap, with the
// smaller of the buffer the stream asks for and the largest its level has:
// lowering either to the cap (the bit rate and buffer fixes) leaves this
// rule's result as it was. The lowest safe rate with that buffer fixes
// both rate rules when it is within the cap.
void check_vbv(CheckState& c, const ProfileRules& r) {
    const StatsState& s = c.stats;
    if (s.log.count == 0 || !c.sequence_seen) return;
    std::uint64_t q = s.first.bit_rate;
    if (q > r.max_bit_rate / 400) q = r.max_bit_rate / 400;
    std::uint64_t units = s.first.vbv_buffer_size;
    if (units > c.vbv_buffer_cap) units = c.vbv_buffer_cap;
    std::uint64_t buffer_bits = units * 16384;
    bool vbv_rule = in_table(r, RuleKind::VBV_UNDERFLOW);
    if (vbv_rule) {
        VbvCheck v = vbv_check(s, q, buffer_bits, false);
        if (v.underflow) {
            RuleFinding& f = finding(c, RuleKind::VBV_UNDERFLOW);
            note_broken(c, RuleKind::VBV_UNDERFLOW, v.first_offset, check_text::underflow,
                        static_cast<ull>(q * 400), static_cast<ull>(buffer_bits));
            f.count = v.underflows;
        }
    }
    RuleFinding& rate = finding(c, RuleKind::BIT_RATE);
    RuleFinding& vbv = finding(c, RuleKind::VBV_UNDERFLOW);
    // The fix is the positional rate, which takes MPEG-2 sequences only.
    if ((rate.count == 0 && vbv.count == 0) || !c.all_mpeg2 || !vbv_rule) return;
    std::uint64_t safe = 0;
    if (!lowest_safe_rate(s, buffer_bits, &safe) || safe * 400 > r.max_bit_rate) return;
    for (RuleFinding* f : {&rate, &vbv}) {
        f->fix = FixKind::BIT_RATE;
        f->fix_value = static_cast<std::uint32_t>(safe * 400);
    }
}

// The aspect ratio every sequence takes: the one nearest the picture's
// shape where the profile allows both. None while a size is not the
// profile's: the size comes first, and it decides the aspect ratios.
void choose_aspect_fix(CheckState& c) {
    RuleFinding& f = finding(c, RuleKind::ASPECT_RATIO);
    if (!c.sizes_known) return;
    const CheckedSequence& s = c.sequence;
    bool wide = s.aspect_ratio_information == 4 ||
                (s.aspect_ratio_information == 1 && 9 * s.horizontal_size > 14 * s.vertical_size);
    std::uint8_t allowed = c.aspects_everywhere;
    if ((allowed & ASPECT_16_9) && (wide || !(allowed & ASPECT_4_3))) f.fix_value = 3;
    else if (allowed & ASPECT_4_3) f.fix_value = 2;
    else return;
    f.fix = FixKind::ASPECT_RATIO;
}

// Ends the checks once the scan is over; `read_whole`: at the file's end.
void finish_rules(CheckState& c, bool read_whole) {
    if (c.rules_finished) return;
    c.rules_finished = true;
    check_sequence(c);
    check_close_gop(c);
    if (!c.rules) c.rules = &profile_rules(c.profile, false);
    if (!read_whole) return;
    if (!c.sequence_seen)
        note_broken(c, RuleKind::VIDEO, 0, check_text::no_sequence);
    else if (!c.picture_seen)
        note_broken(c, RuleKind::VIDEO, 0, check_text::no_picture);
    check_vbv(c, *c.rules);
    if (finding(c, RuleKind::ASPECT_RATIO).count) choose_aspect_fix(c);
    if (c.all_mpeg2 && c.smallest_buffer_cap != UINT32_MAX) {
        RuleFinding& f = finding(c, RuleKind::VBV_BUFFER_SIZE);
        f.fix = FixKind::VBV_BUFFER_SIZE;
        f.fix_value = c.smallest_buffer_cap;
    }
    // The container's time stamps would disagree with a new cadence.
    if (c.pulldown_fixes && c.all_mpeg2 && !c.in_container)
        finding(c, RuleKind::FRAME_RATE).fix = FixKind::PULLDOWN;
}

// The arguments of the m2vhdr command that fixes `f` in place; none when
// nothing does.
std::vector<std::string> fix_arguments(const CheckState& c, const RuleFinding& f,
                                       const char* file_name) {
    if (f.fix == FixKind::NONE) return {};
    std::vector<std::string> a = {"m2vhdr"};
    // The container options, as words ("--demux --stream 0x0100 ").
    for (const char* p = c.demux_options; *p;) {
        std::size_t length = std::strcspn(p, " ");
        if (length) a.emplace_back(p, length);
        p += length + (p[length] == ' ' ? 1 : 0);
    }
    std::string value = std::to_string(f.fix_value);
    switch (f.fix) {
    case FixKind::VBV_BUFFER_SIZE: a.insert(a.end(), {"--set", "vbv_buffer_size=" + value}); break;
    case FixKind::ASPECT_RATIO:
        a.insert(a.end(), {"--set", std::string("aspect_ratio_information=") +
                                        (f.fix_value == 3 ? "16:9" : "4:3")});
        break;
    case FixKind::PULLDOWN: a.insert(a.end(), {"--pulldown", "3:2"}); break;
    case FixKind::BIT_RATE:
    case FixKind::NONE: break;
    }
    // A name that starts with '-' would be read as an option.
    if (file_name[0] == '-') a.emplace_back("--");
    a.emplace_back(file_name);
    if (f.fix == FixKind::BIT_RATE) a.push_back(value);
    return a;
}

unsigned rules_broken(const CheckState& c) {
    unsigned broken = 0;
    for (unsigned i = 0; i < c.rules->rule_count; ++i)
        if (finding(c, c.rules->rules[i]).count) ++broken;
    return broken;
}

void print_text(std::FILE* out, const CheckState& c, const char* file_name) {
    const ProfileRules& r = *c.rules;
    for (unsigned i = 0; i < r.rule_count; ++i) {
        const RuleFinding& f = finding(c, r.rules[i]);
        if (f.count == 0) continue;
        std::fprintf(out, check_text::fail, rule_name(r.rules[i]), f.found, static_cast<ull>(f.first_offset),
                     static_cast<ull>(f.count));
        std::string line;
        if (f.fix == FixKind::NONE) {
        } else if (command_line(fix_arguments(c, f, file_name), c.shell, &line)) {
            std::fprintf(out, check_text::fix, line.c_str());
        } else {
            std::fputs(check_text::fix_unwritable, out);
        }
        std::fputc('\n', out);
    }
    unsigned broken = rules_broken(c);
    if (broken == 0) std::fprintf(out, check_text::compliant, r.name);
    else if (broken == 1) std::fprintf(out, check_text::one_broken, r.name);
    else std::fprintf(out, check_text::broken, r.name, broken);
}

// {"file", "profile", "status", "violations": [{"rule", "offset", "count",
// "found", "fix"}]}; a run that did not read the file whole lists what it
// found, without fixes, under "status": "error".
void print_json(std::FILE* out, JsonLayout layout, const CheckState& c, const char* file_name, bool read_whole) {
    const ProfileRules& r = *c.rules;
    JsonWriter w;
    json_envelope_open(w, out, layout, file_name);
    json_member_string(w, "profile", r.name);
    RunStatus status = !read_whole          ? RunStatus::ERROR
                       : rules_broken(c) != 0 ? RunStatus::RULE_BROKEN
                                              : RunStatus::COMPLETE;
    json_envelope_status(w, JsonDocument::CHECK, status);
    json_key(w, "violations");
    json_begin_array(w);
    for (unsigned i = 0; i < r.rule_count; ++i) {
        const RuleFinding& f = finding(c, r.rules[i]);
        if (f.count == 0) continue;
        json_begin_object(w);
        json_member_string(w, "rule", rule_name(r.rules[i]));
        json_member_uint(w, "offset", f.first_offset);
        json_member_uint(w, "count", f.count);
        json_member_string(w, "found", f.found);
        // The fix as a line for the shell, and as the arguments themselves,
        // which need no shell (or null when there is none).
        std::vector<std::string> fix;
        if (read_whole) fix = fix_arguments(c, f, file_name);
        std::string line;
        json_key(w, "fix");
        if (!fix.empty() && command_line(fix, c.shell, &line)) json_string(w, line.c_str());
        else json_null(w);
        json_key(w, "fix_argv");
        if (fix.empty()) {
            json_null(w);
        } else {
            json_begin_array(w);
            for (const std::string& argument : fix) json_string(w, argument.c_str(), argument.size());
            json_end_array(w);
        }
        json_end_object(w);
    }
    json_end_array(w);
    json_envelope_close(w);
}

}  // namespace

void start_check(StreamContext& ctx, CheckState& c, CheckProfile profile) {
    c.profile = profile;
    c.shell = platform_command_shell();
    c.links = SinkChain{};
    chain_add(c.links, stats_sink, &c.stats);
    chain_add(c.links, check_sink, &c);
    set_sink(ctx, chain_sink, &c.links);
}

bool run_check(StreamContext& ctx, CheckState& c, long requested_stream) {
    if (ctx.demux) {
        // The fixes name the stream as the stream line does.
        const Demuxer& d = *ctx.demux;
        c.in_container = true;
        if (requested_stream < 0)
            std::snprintf(c.demux_options, sizeof c.demux_options, "--demux ");
        else
            std::snprintf(c.demux_options, sizeof c.demux_options, "--demux --stream 0x%0*x ",
                          d.container == Container::TRANSPORT_STREAM ? 4 : 2, d.stream);
    }
    if (!measure_stream(ctx, c.stats)) return false;
    // The VBV rule places its underflow in the stream's bytes: in a
    // container, where it lies in the file is read while the file is open.
    finish_rules(c, true);
    RuleFinding& under = finding(c, RuleKind::VBV_UNDERFLOW);
    if (under.count && !file_offset_after_scan(ctx, under.first_offset, &under.first_offset)) {
        print_file_failure(ctx, FileFailure::READ);
        return false;
    }
    return true;
}

bool finish_check(StreamContext& ctx, CheckState& c, bool json, const char* file_name,
                  bool read_whole) {
    finish_rules(c, read_whole);
    if (json) print_json(ctx.run.out, ctx.run.json_layout, c, file_name, read_whole);
    else if (read_whole) print_text(ctx.run.out, c, file_name);
    return read_whole && rules_broken(c) == 0;
}

void check_free(CheckState& c) { stats_free(c.stats); }
