#include "headers/report_text.hpp"

#include <cstdio>

namespace {

// Room for `count` more characters; a block never needs more than
// CAPACITY, so this only guards the array.
bool room(const ReportText& out, std::size_t count) {
    return count <= ReportText::CAPACITY - out.length;
}

// `value` in base `base`, at least `width` digits.
void put_number(ReportText& out, std::uint64_t value, unsigned base, std::size_t width) {
    static constexpr char digits[] = "0123456789abcdef";
    char reversed[24];
    std::size_t n = 0;
    do {
        reversed[n++] = digits[value % base];
        value /= base;
    } while (value != 0);
    while (n < width) reversed[n++] = '0';
    if (!room(out, n)) return;
    while (n > 0) out.text[out.length++] = reversed[--n];
}

}  // namespace

void put_decimal(ReportText& out, std::uint64_t value) { put_number(out, value, 10, 1); }

void put_decimal_2(ReportText& out, unsigned value) { put_number(out, value, 10, 2); }

void put_header_line(ReportText& out, const StreamContext& ctx, const char* name) {
    put_number(out, offset_of(ctx), 16, 8);
    put_text(out, ": ");
    put_text(out, name);
    put_text(out, "\n");
}

void write_report(const StreamContext& ctx, const ReportText& out) {
    std::fwrite(out.text, 1, out.length, ctx.out);
}
