#include "headers/report_text.hpp"

#include <cstdio>

#include "headers/header_sink.hpp"
#include "headers/headers.hpp"
#include "scan/start_codes.hpp"

namespace {

// `value` in base BASE, at least `width` digits. The base is a constant so
// that the divisions become multiplications.
template <unsigned BASE>
void put_number(ReportText& out, std::uint64_t value, std::size_t width) {
    static constexpr char digits[] = "0123456789abcdef";
    char reversed[24];
    std::size_t n = 0;
    do {
        reversed[n++] = digits[value % BASE];
        value /= BASE;
    } while (value != 0);
    while (n < width) reversed[n++] = '0';
    if (n > ReportText::CAPACITY - out.length) return;  // never: see CAPACITY
    while (n > 0) out.text[out.length++] = reversed[--n];
}

}  // namespace

void put_decimal(ReportText& out, std::uint64_t value) { put_number<10>(out, value, 1); }

void put_decimal_2(ReportText& out, unsigned value) { put_number<10>(out, value, 2); }

void put_header_line(ReportText& out, const StreamContext& ctx, const char* name) {
    // A move of the video to another PID before this header: its line first.
    if (ctx.demux && ctx.demux->changes_told < ctx.demux->change_count)
        demux_print_changes(*ctx.demux, offset_of(ctx), ctx.run.out);
    put_number<16>(out, file_offset_of(ctx, offset_of(ctx)), 8);
    put_text(out, ": ");
    put_text(out, name);
    put_text(out, "\n");
}

void print_header_line(const StreamContext& ctx, const char* name) {
    ReportText line;
    put_header_line(line, ctx, name);
    write_report(ctx, line);
}

void write_report(const StreamContext& ctx, const ReportText& out) {
    std::fwrite(out.text, 1, out.length, ctx.run.out);
}

ParseResult report_bare_start_code(StreamContext& ctx, void*, std::uint32_t start_code) {
    print_header_line(ctx, start_code == USER_DATA_START_CODE ? "USER_DATA_START_CODE"
                                                              : "SEQUENCE_END_CODE");
    return CONTINUE;
}

// The report passes over the quantiser-matrix and picture-display
// extensions.
const HeaderSink report_text_sink = {
    report_sequence_header,
    report_sequence_extension,
    report_sequence_display_extension,
    nullptr,
    report_copyright_extension,
    nullptr,
    report_group_header,
    report_picture_header,
    report_picture_coding_extension,
    report_bare_start_code,
    print_layer_warning,
};
