// A bit rate as a user types it.
#pragma once

#include <cstdint>

// Reads a rate in bit/s: decimal digits with an optional fraction, then an
// optional decimal SI prefix (k or K: 1000, M: 1000000) and an optional
// "bps": "1150000", "800k", "5M", "5Mbps", "1.15M". False for anything else,
// for a fraction that leaves part of a bit, and above 2^40 bit/s.
bool parse_rate(const char* text, std::uint64_t* bits_per_second);
