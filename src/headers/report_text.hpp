// A report block composed in memory and written with one call.
//
// Every block of the report is composed here and handed to the stream with
// one fwrite: a printf call per line cost more than the search for the start
// codes (pictures, their coding extensions and GOPs come once per picture).
// Each function writes exactly what the printf conversion named beside it
// would, and a terminal still gets each block as soon as it is found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan/stream_context.hpp"

struct ReportText {
    static constexpr std::size_t CAPACITY = 1024;  // well above any block
    char text[CAPACITY];
    std::size_t length = 0;
};

// %s; inline, so that the length and copy of a literal are known at compile
// time.
inline void put_text(ReportText& out, const char* text) {
    std::size_t n = std::strlen(text);
    if (n > ReportText::CAPACITY - out.length) return;  // never: see CAPACITY
    std::memcpy(out.text + out.length, text, n);
    out.length += n;
}
// %u, %llu
void put_decimal(ReportText& out, std::uint64_t value);
// %02u
void put_decimal_2(ReportText& out, unsigned value);
// "%08llx: NAME\n", the line that opens a header's block, for `pos`.
void put_header_line(ReportText& out, const StreamContext& ctx, const char* name);

// Writes the block to the report.
void write_report(const StreamContext& ctx, const ReportText& out);
