// Header handlers and the tables that name coded values.
//
// Every handler is called with `pos` at the first byte (00) of its start code
// and reads the header at fixed indices from there. It leaves `pos` at the
// last byte it counts as its header; the scan goes on at the byte after.
#pragma once

#include <cstdint>

#include "headers/syntax.hpp"
#include "scan/stream_context.hpp"

// Name tables.
const char* yes_no(unsigned flag);
const char* aspect_ratio_name(unsigned aspect_ratio_information);
const char* chroma_format_name(unsigned chroma_format);
const char* profile_name(unsigned profile);
const char* level_name(unsigned level);
const char* escape_profile_name(unsigned profile_and_level_indication);
const char* picture_coding_type_name(unsigned picture_coding_type);
const char* video_format_name(unsigned video_format);
const char* colour_primaries_name(unsigned colour_primaries);
const char* transfer_characteristics_name(unsigned transfer_characteristics);
const char* matrix_coefficients_name(unsigned matrix_coefficients);
const char* picture_structure_name(unsigned picture_structure);
double frame_rate_value(unsigned frame_rate_code);
// "23.976", "29.97"...; "forbidden" for 0, "reserved" for 9 to 15.
const char* frame_rate_name(unsigned frame_rate_code);
// frame_rate_code as an exact fraction of frames per second; the
// denominator is 0 for the forbidden code 0 and the reserved 9 to 15.
struct FrameRateFraction {
    std::uint32_t numerator;
    std::uint32_t denominator;
};
FrameRateFraction frame_rate_fraction(unsigned frame_rate_code);

// Writes `value` with two decimals into `text` (at least 32 bytes), a value
// exactly halfway between two hundredths rounded away from zero.
void format_two_decimals(double value, char* text, std::size_t size);

// Handlers, one per header.
ParseResult parse_sequence_header(StreamContext& ctx);
ParseResult dispatch_extension(StreamContext& ctx);
ParseResult parse_sequence_extension(StreamContext& ctx);
ParseResult parse_sequence_display_extension(StreamContext& ctx);
ParseResult parse_picture_coding_extension(StreamContext& ctx);
ParseResult skip_quant_matrix_extension(StreamContext& ctx);
ParseResult skip_picture_display_extension(StreamContext& ctx);
ParseResult parse_copyright_extension(StreamContext& ctx);
ParseResult parse_group_header(StreamContext& ctx);
ParseResult parse_picture_header(StreamContext& ctx);

// The text report of each header, the entries of report_text_sink.
ParseResult report_sequence_header(StreamContext& ctx, void*, const syntax::SequenceHeader& h);
ParseResult report_sequence_extension(StreamContext& ctx, void*,
                                      const syntax::SequenceExtension& e);
ParseResult report_sequence_display_extension(StreamContext& ctx, void*,
                                              const syntax::SequenceDisplayExtension& e);
ParseResult report_copyright_extension(StreamContext& ctx, void*,
                                       const syntax::CopyrightExtension& e);
ParseResult report_group_header(StreamContext& ctx, void*, const syntax::GroupOfPicturesHeader& g);
ParseResult report_picture_header(StreamContext& ctx, void*, const syntax::PictureHeader& h);
ParseResult report_picture_coding_extension(StreamContext& ctx, void*,
                                            const syntax::PictureCodingExtension& e);
ParseResult report_bare_start_code(StreamContext& ctx, void*, std::uint32_t start_code);

// Prints the "%08llx: NAME\n" line that opens a header's report block.
void print_header_line(const StreamContext& ctx, const char* name);
