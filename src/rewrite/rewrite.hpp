// In-place rewrite of the nominal bit rate, and the progress line.
#pragma once

#include "scan/stream_context.hpp"

// Patches bit_rate_value of the last sequence header and bit_rate_extension
// of the sequence extension at `pos`; leaves `pos` at the extension's byte 9.
// Returns STOP after a seek or write failure (already reported).
ParseResult rewrite_bit_rate(StreamContext& ctx);

// Prints "処理: done/totalバイト (percent%)" followed by `end` ("\r" while
// the scan goes on, "\n" for the closing line).
void print_progress(const StreamContext& ctx, const char* end);
