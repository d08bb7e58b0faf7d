// What a rewrite may change in a file, found by a scan of its own that
// shares nothing with the tool's scanner or its element table: every
// 00 00 01 B3 anywhere in the file may have the sequence-header bits of the
// elements set changed, every 00 00 01 B5 whose identifier nibble is 1 (a
// sequence extension) their extension bits, every one whose nibble is 2 (a
// sequence display extension) their display bits, the colour fields only
// where its colour_description bit is 1 and the display sizes 24 bits on
// then. "bit_rate" stands for the positional BITRATE: bit_rate_value
// (bytes 8, 9 and the top two bits of 10 of the sequence header) and
// bit_rate_extension (the low five bits of byte 6 and the top seven of
// byte 7 of the extension). Anything else changing is damage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The elements the invariant knows, in a fixed order: "bit_rate" first,
// then the elements of --set.
const std::vector<std::string>& invariant_elements();

// For each byte of `original`, the bits a rewrite of `elements` may change.
// Without `elements`: the bit rate alone.
std::vector<std::uint8_t> rewritable_bits(const std::vector<std::uint8_t>& original,
                                          const std::vector<std::string>& elements = {"bit_rate"});

// Empty when `after` is a possible result of rewriting `elements` in
// `original`: same length, and only rewritable bits differ. Otherwise a
// description of the first violation.
std::string check_rewrite(const std::vector<std::uint8_t>& original,
                          const std::vector<std::uint8_t>& after,
                          const std::vector<std::string>& elements = {"bit_rate"});

// Empty when a write of `count` bytes at `offset` touches only bytes that
// hold rewritable bits, inside the original file.
std::string check_write(const std::vector<std::uint8_t>& rewritable,
                        std::uint64_t offset, std::uint64_t count);

// What --pulldown may change, found by the same kind of scan: in every
// 00 00 01 B3 frame_rate_code (the low nibble of byte 7); in every 00 00 01 B5
// with identifier 1 progressive_sequence (bit 3 of byte 5), with identifier
// 8 top_field_first, repeat_first_field and progressive_frame (bits 7 and 1
// of byte 7, bit 7 of byte 8); in every 00 00 01 B8 drop_frame_flag and the
// time code (bytes 4 to 7 but the marker bit, closed_gop and broken_link).
std::vector<std::uint8_t> pulldown_rewritable_bits(const std::vector<std::uint8_t>& original);

// Empty when `after` has the length of `original` and differs from it only
// in bits set in `bits`; otherwise the first violation.
std::string check_changed_bits(const std::vector<std::uint8_t>& bits,
                               const std::vector<std::uint8_t>& original,
                               const std::vector<std::uint8_t>& after);
