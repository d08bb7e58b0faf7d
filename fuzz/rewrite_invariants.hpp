// What a bit-rate rewrite may change in a file, found by a scan of its own
// that shares nothing with the tool's scanner: every 00 00 01 B3 anywhere in
// the file may have bit_rate_value changed (bytes 8, 9 and the top two bits
// of 10), and every 00 00 01 B5 whose identifier nibble is 1 may have
// bit_rate_extension changed (the low five bits of byte 6 and the top seven
// of byte 7). Anything else changing is damage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// For each byte of `original`, the bits a rewrite may change.
std::vector<std::uint8_t> rewritable_bits(const std::vector<std::uint8_t>& original);

// Empty when `after` is a possible result of rewriting `original`: same
// length, and only rewritable bits differ. Otherwise a description of the
// first violation.
std::string check_rewrite(const std::vector<std::uint8_t>& original,
                          const std::vector<std::uint8_t>& after);

// Empty when a write of `count` bytes at `offset` touches only bytes that
// hold rewritable bits, inside the original file.
std::string check_write(const std::vector<std::uint8_t>& rewritable,
                        std::uint64_t offset, std::uint64_t count);
